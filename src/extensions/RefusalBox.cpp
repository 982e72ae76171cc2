#include "extensions/RefusalBox.h"

#include <QMessageBox>

namespace {

RefusalBox::Handler &handler()
{
    static RefusalBox::Handler h;
    return h;
}

} // namespace

void RefusalBox::show(QWidget *parent, const QString &title, const QString &text)
{
    if (handler()) {
        handler()(parent, title, text);
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setWindowOpacity(0.9);
    box.exec();
}

void RefusalBox::setHandler(Handler h)
{
    handler() = std::move(h);
}
