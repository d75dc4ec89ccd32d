#include "AccessibleControls.h"

#include "GlyphButton.h"
#include "LeopardSlider.h"
#include "PushButton.h"
#include "SquareButton.h"

namespace lh {

QString spokenName(Glyph glyph)
{
    switch (glyph) {
    case Glyph::previous: return QStringLiteral("Previous");
    case Glyph::play: return QStringLiteral("Play");
    case Glyph::pause: return QStringLiteral("Pause");
    case Glyph::stop: return QStringLiteral("Stop");
    case Glyph::next: return QStringLiteral("Next");
    case Glyph::plus: return QStringLiteral("Add");
    case Glyph::minus: return QStringLiteral("Remove");
    case Glyph::list: return QStringLiteral("Playlist");
    case Glyph::info: return QStringLiteral("Get Info");
    case Glyph::shuffle: return QStringLiteral("Shuffle");
    case Glyph::repeat: return QStringLiteral("Repeat");
    }
    return {};
}

AccessibleButton::AccessibleButton(LeopardButton* button)
    : QAccessibleWidget(button, QAccessible::Button)
{
}

LeopardButton& AccessibleButton::button() const
{
    return *static_cast<LeopardButton*>(widget());
}

// Only the shuffle and repeat buttons show a setting; the others act and keep no state.
bool AccessibleButton::isSwitch() const
{
    const auto* square = dynamic_cast<const SquareButton*>(&button());
    return square && (square->glyph() == Glyph::shuffle || square->glyph() == Glyph::repeat);
}

QString AccessibleButton::text(QAccessible::Text type) const
{
    if (type != QAccessible::Name)
        return QAccessibleWidget::text(type);
    if (const QString given = widget()->accessibleName(); !given.isEmpty())
        return given;
    if (const auto* glyphButton = dynamic_cast<const GlyphButton*>(&button()))
        return spokenName(glyphButton->glyph());
    if (const auto* push = dynamic_cast<const PushButton*>(&button()))
        return push->label();
    return {};
}

QAccessible::State AccessibleButton::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.pressed = button().isDown();
    if (isSwitch()) {
        state.checkable = true;
        state.checked = static_cast<const SquareButton&>(button()).isOn();
    }
    return state;
}

QStringList AccessibleButton::actionNames() const
{
    if (!widget()->isEnabled())
        return {};
    QStringList names { pressAction() };
    if (isSwitch())
        names << toggleAction();
    return names;
}

// A switch's toggle is its click: the owner changes the setting and the button follows.
void AccessibleButton::doAction(const QString& actionName)
{
    if (widget()->isEnabled() && (actionName == pressAction() || (isSwitch() && actionName == toggleAction())))
        button().click();
}

AccessibleSlider::AccessibleSlider(LeopardSlider* slider)
    : QAccessibleWidget(slider, QAccessible::Slider)
{
}

LeopardSlider& AccessibleSlider::slider() const
{
    return *static_cast<LeopardSlider*>(widget());
}

// Readers speak the value text where they find it: as the value, and as the description for
// those that read only names and descriptions.
QString AccessibleSlider::text(QAccessible::Text type) const
{
    if ((type == QAccessible::Value || type == QAccessible::Description) && slider().spoken.text)
        return slider().spoken.text(slider().value());
    return QAccessibleWidget::text(type);
}

void* AccessibleSlider::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QVariant AccessibleSlider::currentValue() const
{
    return slider().value() * slider().spoken.scale;
}

void AccessibleSlider::setCurrentValue(const QVariant& value)
{
    bool isNumber = false;
    const double number = value.toDouble(&isNumber);
    if (isNumber && slider().spoken.scale != 0)
        slider().moveTo(number / slider().spoken.scale);
}

QVariant AccessibleSlider::maximumValue() const
{
    return slider().maximum() * slider().spoken.scale;
}

QVariant AccessibleSlider::minimumValue() const
{
    return slider().minimum() * slider().spoken.scale;
}

QVariant AccessibleSlider::minimumStepSize() const
{
    return slider().spoken.step * slider().spoken.scale;
}

QStringList AccessibleSlider::actionNames() const
{
    if (!widget()->isEnabled())
        return {};
    return { increaseAction(), decreaseAction() };
}

void AccessibleSlider::doAction(const QString& actionName)
{
    LeopardSlider& s = slider();
    if (actionName == increaseAction())
        s.moveTo(s.value() + s.spoken.step);
    else if (actionName == decreaseAction())
        s.moveTo(s.value() - s.spoken.step);
}

} // namespace lh
