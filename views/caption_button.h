#pragma once
// A push button whose caption wraps onto several lines, as the narrow command
// buttons of the main window need ("View Single DCT Pattern" in 73 pixels).

#include <QPushButton>

namespace quadrel {

class CaptionButton : public QPushButton {
    Q_OBJECT
public:
    explicit CaptionButton(const QString& caption, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quadrel
