#include "views/block_history.h"

#include <QUndoCommand>

namespace quadrel {

class BlockHistory::Step : public QUndoCommand {
public:
    Step(BlockHistory& history, const QString& name, int session, BlockState before,
         BlockState after)
        : QUndoCommand(name), history_(history), session_(session), before_(std::move(before)),
          after_(std::move(after)) {}

    void undo() override { history_.Show(before_); }
    void redo() override {
        if (done_) { // the first redo comes from push: the step is already on screen
            history_.Show(after_);
        }
        done_ = true;
    }
    // Steps of one session (the picks of one bitmap viewer) merge.
    int id() const override { return session_ > 0 ? 1 : -1; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const Step*>(other);
        if (next->session_ != session_) {
            return false;
        }
        after_ = next->after_;
        return true;
    }

private:
    BlockHistory& history_;
    int session_;
    BlockState before_;
    BlockState after_;
    bool done_ = false;
};

BlockHistory::BlockHistory(BlockDocument& document, QObject* parent)
    : QObject(parent), document_(document), committed_(document.Snapshot()) {
    connect(&document_, &BlockDocument::StepEnded, this, &BlockHistory::RecordStep);
    // Typing changes what Undo can do; so do the start and end of a cycle.
    connect(&document_, &BlockDocument::BlockChanged, this, &BlockHistory::Changed);
    connect(&stack_, &QUndoStack::indexChanged, this, &BlockHistory::Changed);
}

BlockHistory::~BlockHistory() {
    // The stack announces its clearing; by now the block's controls may be gone.
    disconnect(&stack_, nullptr, this, nullptr);
}

void BlockHistory::RecordStep(const QString& name, int session) {
    BlockState now = document_.Snapshot();
    if (now == committed_) {
        emit Changed(); // no empty step, but a cycle that ended frees Undo again
        return;
    }
    const QString text = name.isEmpty() ? tr("Change") : name;
    stack_.push(new Step(*this, text, session, committed_, now));
    committed_ = std::move(now);
    emit Changed();
}

void BlockHistory::Show(const BlockState& state) {
    document_.Restore(state);
    committed_ = state;
}

void BlockHistory::Undo() {
    document_.FinishPacedBuild();
    if (document_.CycleRunning()) {
        return;
    }
    if (Pending()) {
        RecordStep(tr("Typing"), 0);
    }
    stack_.undo();
}

void BlockHistory::Redo() {
    document_.FinishPacedBuild();
    if (document_.CycleRunning() || Pending()) {
        return; // typing since the last step replaced what could be redone
    }
    stack_.redo();
}

bool BlockHistory::CanUndo() const {
    return !document_.CycleRunning() && (stack_.canUndo() || Pending());
}

bool BlockHistory::CanRedo() const {
    return !document_.CycleRunning() && stack_.canRedo() && !Pending();
}

QString BlockHistory::UndoText() const {
    return Pending()                     ? tr("Undo Typing")
           : stack_.undoText().isEmpty() ? tr("Undo")
                                         : tr("Undo %1").arg(stack_.undoText());
}

QString BlockHistory::RedoText() const {
    return stack_.redoText().isEmpty() ? tr("Redo") : tr("Redo %1").arg(stack_.redoText());
}

} // namespace quadrel
