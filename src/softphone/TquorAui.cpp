#include "softphone/TquorAui.h"

#include <cmath>

#include "softphone/AioPrefFile.h"

namespace {

int toPercent(double level)
{
    if (!std::isfinite(level))
        return 0;
    return qBound(0, int(std::lround(level * 100.0)), 100);
}

} // namespace

TquorAui::TquorAui(QWidget *parent)
    : QWidget(parent)
    , m_file(std::make_unique<AioPrefFile>())
{
    setupUi(this);

    int input = AioPrefFile::kDefaultLevel;
    int output = AioPrefFile::kDefaultLevel;
    m_file->load(&input, &output);
    sliderInput->setValue(input);
    sliderOutput->setValue(output);
    labelInputValue->setNum(input);
    labelOutputValue->setNum(output);

    connect(sliderInput, &QSlider::valueChanged, this, [this] { onSliderMoved(sliderInput, labelInputValue); });
    connect(sliderOutput, &QSlider::valueChanged, this, [this] { onSliderMoved(sliderOutput, labelOutputValue); });
    // A drag changes the level many times; the file is written once it ends.
    connect(sliderInput, &QSlider::sliderReleased, this, &TquorAui::save);
    connect(sliderOutput, &QSlider::sliderReleased, this, &TquorAui::save);
}

TquorAui::~TquorAui() = default;

double TquorAui::inputLevel() const
{
    return sliderInput->value() / 100.0;
}

double TquorAui::outputLevel() const
{
    return sliderOutput->value() / 100.0;
}

void TquorAui::setMeterLevels(double input, double output)
{
    setInputMeter(input);
    setOutputMeter(output);
}

void TquorAui::setInputMeter(double level)
{
    meterInput->setValue(toPercent(level));
}

void TquorAui::setOutputMeter(double level)
{
    meterOutput->setValue(toPercent(level));
}

void TquorAui::onSliderMoved(QSlider *slider, QLabel *valueLabel)
{
    valueLabel->setNum(slider->value());
    if (slider == sliderInput)
        emit signalInputLevelChanged(inputLevel());
    else
        emit signalOutputLevelChanged(outputLevel());
    if (!slider->isSliderDown())
        save();
}

void TquorAui::save()
{
    m_file->store(sliderInput->value(), sliderOutput->value());
}
