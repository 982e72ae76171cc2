#pragma once

class QWidget;

// Gives a widget that stands in for a designed one (a custom button or label
// put in its place at run time) what the designer set on the original: name,
// size policy and limits, geometry, tool tip, font and visibility, with the
// pointing-hand cursor and left-to-right layout every such stand-in has. The
// caller creates the stand-in on the original's parent, copies what is
// particular to its kind, and deletes the original.
void copyDesignedProperties(const QWidget &designed, QWidget *standIn);
