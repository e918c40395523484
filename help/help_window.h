#pragma once
// The help window: the read-me document shown inside Quadrel, with a contents
// list that links to the sections, back and forward, and a find box. Its page
// is made at build time from readme.rtf, the document WordPad opens on Windows.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTextBrowser;

namespace quadrel {

inline const QString kHelpPage = QStringLiteral("qrc:/quadrel/help/readme.html");

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    /// Scrolls to section `number` of the document ("14. The JPEG worksheet");
    /// 0 goes to the contents at the top.
    void ShowSection(int number);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// Selects the next place (or the previous one) where the find box's text
    /// occurs, wrapping round the document. False, and says so, when it occurs nowhere.
    bool Find(bool backward = false);

    QTextBrowser* browser_ = nullptr;
    QLineEdit* findBox_ = nullptr;
    QLabel* findStatus_ = nullptr;
};

} // namespace quadrel
