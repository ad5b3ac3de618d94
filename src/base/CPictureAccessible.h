// What a screen reader finds in a widget that draws a picture of its own (the
// memory map, a waveform): an image with the widget's name and description.
// Qt exports such a widget as a nameless-looking "filler" otherwise.
#pragma once

#include <QAccessibleWidget>

class CPictureAccessible : public QAccessibleWidget {
public:
    explicit CPictureAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Graphic) { }

    // Makes every widget of the class named (its meta-object's class name)
    // answer with this interface; once per class is enough.
    static void Install(const char* className);
};
