#pragma once

class QFrame;
class QWidget;

// The framed list area that fills the queue and parked windows.
QFrame *makeCallListFrame(QWidget *window);
