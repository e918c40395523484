#include "help/help_window.h"

#include "views/window_palette.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace quadrel {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    ApplyWindowPalette(this);
    resize(760, 640);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("browser"));
    browser_->setOpenLinks(true);
    browser_->setOpenExternalLinks(false);
    browser_->setAccessibleName(tr("Read Me"));

    auto* contents = new QPushButton(tr("&Contents"), this);
    auto* back = new QPushButton(tr("&Back"), this);
    auto* forward = new QPushButton(tr("For&ward"), this);
    contents->setObjectName(QStringLiteral("contentsButton"));
    back->setObjectName(QStringLiteral("backButton"));
    forward->setObjectName(QStringLiteral("forwardButton"));
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(contents, &QPushButton::clicked, browser_, &QTextBrowser::home);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

    auto* findLabel = new QLabel(tr("&Find:"), this);
    findBox_ = new QLineEdit(this);
    findBox_->setObjectName(QStringLiteral("findBox"));
    findBox_->setClearButtonEnabled(true);
    findLabel->setBuddy(findBox_);
    auto* previous = new QPushButton(tr("&Previous"), this);
    auto* next = new QPushButton(tr("&Next"), this);
    previous->setObjectName(QStringLiteral("previousButton"));
    next->setObjectName(QStringLiteral("nextButton"));
    findStatus_ = new QLabel(this);
    findStatus_->setObjectName(QStringLiteral("findStatus"));
    connect(findBox_, &QLineEdit::returnPressed, this, [this] { Find(); });
    connect(findBox_, &QLineEdit::textEdited, findStatus_, &QLabel::clear);
    connect(next, &QPushButton::clicked, this, [this] { Find(); });
    connect(previous, &QPushButton::clicked, this, [this] { Find(true); });
    auto* focusFind = new QShortcut(QKeySequence::Find, this);
    connect(focusFind, &QShortcut::activated, this, [this] {
        findBox_->setFocus(Qt::ShortcutFocusReason);
        findBox_->selectAll();
    });
    auto* findNext = new QShortcut(QKeySequence::FindNext, this);
    connect(findNext, &QShortcut::activated, this, [this] { Find(); });
    auto* findPrevious = new QShortcut(QKeySequence::FindPrevious, this);
    connect(findPrevious, &QShortcut::activated, this, [this] { Find(true); });

    auto* bar = new QHBoxLayout;
    bar->addWidget(contents);
    bar->addWidget(back);
    bar->addWidget(forward);
    bar->addStretch();
    bar->addWidget(findLabel);
    bar->addWidget(findBox_);
    bar->addWidget(previous);
    bar->addWidget(next);
    bar->addWidget(findStatus_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(browser_);

    browser_->setSource(QUrl(kHelpPage));
    setWindowTitle(browser_->documentTitle());
    browser_->setFocus();
}

void HelpWindow::ShowSection(int number) {
    browser_->setSource(number > 0 ? QUrl(kHelpPage + QStringLiteral("#section-%1").arg(number))
                                   : QUrl(kHelpPage));
}

bool HelpWindow::Find(bool backward) {
    const QString text = findBox_->text();
    if (text.isEmpty()) {
        return false;
    }
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (browser_->find(text, flags)) {
        findStatus_->clear();
        return true;
    }
    // Round the end of the document, once.
    QTextCursor cursor = browser_->textCursor();
    cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    browser_->setTextCursor(cursor);
    if (browser_->find(text, flags)) {
        findStatus_->clear();
        return true;
    }
    findStatus_->setText(tr("Not found"));
    return false;
}

void HelpWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace quadrel
