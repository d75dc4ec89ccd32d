#pragma once

#include "Glyph.h"

#include <QAccessibleWidget>

namespace lh {

class LeopardButton;
class LeopardSlider;

// What assistive technology hears for a glyph when the button carries no name of its own.
QString spokenName(Glyph glyph);

// The custom-drawn buttons: named by their glyph or label (or the name the owner gives),
// pressed through the press action as a click would press them. A square button that shows a
// setting (shuffle, repeat) is a checkable button whose checked state is that setting.
class AccessibleButton : public QAccessibleWidget {
public:
    explicit AccessibleButton(LeopardButton* button);

    QString text(QAccessible::Text type) const override;
    QAccessible::State state() const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    LeopardButton& button() const;
    bool isSwitch() const;
};

// A slider: its value as the number `spoken.scale` makes of it, the text `spoken.text` reads,
// and increment and decrement by `spoken.step`, each sending the slider's action as a drag
// would. A disabled slider does not move.
class AccessibleSlider : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleSlider(LeopardSlider* slider);

    QString text(QAccessible::Text type) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    LeopardSlider& slider() const;
};

} // namespace lh
