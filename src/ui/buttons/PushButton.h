#pragma once

#include "LeopardButton.h"

namespace lh {

// A capsule button with a centred text label (the info panel's "OK").
class PushButton : public LeopardButton {
public:
    explicit PushButton(QString label, QWidget* parent = nullptr);

    const QString& label() const { return label_; }

    void paint(QPainter& painter) const override;

private:
    QString label_;
};

} // namespace lh
