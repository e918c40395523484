#include "tests/support/testutils.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>

#include <algorithm>
#include <cmath>

namespace quadrel::test {

std::optional<QString> ScriptedDesktop::Answer(bool save, const QString& filter,
                                               const QString& preset) {
    dialogs.append({save, filter, preset});
    const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
    if (answer.isEmpty()) {
        return std::nullopt;
    }
    return answer;
}

std::optional<QString> ScriptedDesktop::OpenFileName(QWidget* parent, const QString& filter,
                                                     const QString& preset) {
    if (realFileDialogs) {
        dialogs.append({false, filter, preset});
        return SystemDesktop::OpenFileName(parent, filter, preset);
    }
    return Answer(false, filter, preset);
}

std::optional<QString> ScriptedDesktop::SaveFileName(QWidget* parent, const QString& filter,
                                                     const QString& preset) {
    if (realFileDialogs) {
        dialogs.append({true, filter, preset});
        return SystemDesktop::SaveFileName(parent, filter, preset);
    }
    return Answer(true, filter, preset);
}

void ScriptedDesktop::ShowWarning(QWidget* parent, const QString& title, const QString& text) {
    messages << title + QStringLiteral(": ") + text;
    if (realMessages) {
        SystemDesktop::ShowWarning(parent, title, text);
    }
}

bool ScriptedDesktop::AskYesNo(QWidget* parent, const QString& title, const QString& question) {
    questions << title + QStringLiteral(": ") + question;
    if (realMessages) {
        return SystemDesktop::AskYesNo(parent, title, question);
    }
    return !replies.isEmpty() && replies.takeFirst();
}

bool ScriptedDesktop::StartDetached(const QString& commandLine) {
    started << commandLine;
    return realPrograms ? SystemDesktop::StartDetached(commandLine) : programsStart;
}

bool ScriptedDesktop::OpenDocument(const QString& path, std::function<void()> whenNoApplication) {
    opened << path;
    if (realPrograms) {
        return SystemDesktop::OpenDocument(path, std::move(whenNoApplication));
    }
    this->whenNoApplication = std::move(whenNoApplication);
    return programsStart;
}

bool PaintCounter::eventFilter(QObject* /*watched*/, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        ++count_;
    }
    return false;
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& colour) {
        const auto channel = [](double c) {
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
               0.0722 * channel(colour.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

void MoveOver(QWidget* widget, QPoint at) {
    // Sent straight to the widget: QTest::mouseMove without a button moves the
    // system pointer, which the offscreen platform does not track.
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void TypeIntoCell(QLineEdit* cell, const QString& text) {
    cell->selectAll();
    QTest::keyClick(cell, Qt::Key_Delete);
    QTest::keyClicks(cell, text);
}

} // namespace quadrel::test
