#include "tests/support/testutils.h"

#include <QEvent>
#include <QLineEdit>
#include <QTest>

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

DctEngine ReadyEngine() {
    DctEngine engine;
    engine.SetConsts();
    engine.MakeCosTable();
    engine.ResetFreqSpace();
    return engine;
}

void TypeIntoCell(QLineEdit* cell, const QString& text) {
    cell->selectAll();
    QTest::keyClick(cell, Qt::Key_Delete);
    QTest::keyClicks(cell, text);
}

} // namespace quadrel::test
