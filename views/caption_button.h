#pragma once
// A push button whose caption wraps onto several lines, as the narrow command
// buttons of the main window need ("View Single DCT Pattern" in 73 pixels).
// Enter presses it while it has the focus, as Space does, and the focus shows
// as a dark ring inside its edge, plain on any face colour.

#include <QPushButton>

namespace quadrel {

class CaptionButton : public QPushButton {
    Q_OBJECT
public:
    explicit CaptionButton(const QString& caption, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace quadrel
