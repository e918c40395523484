#pragma once
// Undo and redo of the block. Each command that changes the block ends one
// step (BlockDocument::StepEnded); the history keeps the state before and after
// it and puts either back through BlockDocument::Restore, so every window's
// commands undo the same way.
//
// Typing in the cells is not a step of its own: it belongs to the next
// command's step, so undoing "Enter" in a cell goes back to the block as it was
// before the typing began. Undo with typing still pending takes the typing back.
// Undo and Redo do nothing while a pattern cycle runs; a Build Mode transform
// whose steps are being shown is finished first.

#include "views/block_document.h"

#include <QObject>
#include <QUndoStack>

namespace quadrel {

class BlockHistory : public QObject {
    Q_OBJECT
public:
    explicit BlockHistory(BlockDocument& document, QObject* parent = nullptr);
    ~BlockHistory() override;

    void Undo();
    void Redo();
    bool CanUndo() const;
    bool CanRedo() const;
    /// "Undo Quantise", "Redo DCT"...
    QString UndoText() const;
    QString RedoText() const;
    const QUndoStack& Stack() const { return stack_; }

signals:
    /// CanUndo, CanRedo or their texts may have changed.
    void Changed();

private:
    class Step;
    void RecordStep(const QString& name, int session);
    /// Puts a recorded state back.
    void Show(const BlockState& state);
    bool Pending() const { return document_.Snapshot() != committed_; }

    BlockDocument& document_;
    QUndoStack stack_;
    /// The state at the end of the last step, undone or redone.
    BlockState committed_;
};

} // namespace quadrel
