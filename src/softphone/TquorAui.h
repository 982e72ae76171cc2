#pragma once

#include <QWidget>
#include <memory>

#include "ui_QuorAui.h"

class AioPrefFile;

// The volume popup: microphone and speaker level sliders above the engine's
// signal meters. The levels live in "aiopref.xml", read at construction and
// written whenever the user settles on a new level.
class TquorAui : public QWidget, private Ui::QuorAui
{
    Q_OBJECT

public:
    explicit TquorAui(QWidget *parent = nullptr);
    ~TquorAui() override;

    // The levels as the engine takes them, 0 to 1.
    double inputLevel() const;
    double outputLevel() const;

public slots:
    // The engine's signal meters, 0 to 1; values outside are clamped.
    void setMeterLevels(double input, double output);
    void setInputMeter(double level);
    void setOutputMeter(double level);

signals:
    // The user moved a slider; also sent while dragging so the change is heard.
    void signalInputLevelChanged(double level);
    void signalOutputLevelChanged(double level);

private:
    void onSliderMoved(QSlider *slider, QLabel *valueLabel);
    void save();

    std::unique_ptr<AioPrefFile> m_file;
};
