#pragma once

#include <QUndoCommand>

namespace Model {

// The base of the program's undo commands, whose redo the scene's handle may
// have run already when the command reaches the stack.
//
// QUndoStack::push cuts the steps that were undone before it looks whether
// the new command changed anything, and some commands can tell that only by
// running. Where there are undone steps to lose, KLScene therefore runs the
// command before it pushes it: one that made itself obsolete goes, and what
// was undone stays to be redone; any other is pushed as it stands, done, and
// the stack's own redo on push does nothing. So a command runs once however
// it reaches the stack, which a resize of every drawing of a scene feels.
//
// A command does in perform() what QUndoCommand::redo() does; the default
// runs the children in the order they were made, and undo() takes them back
// in reverse: a group of commands that is one step is a SceneCommand of its
// own, made with its text, the commands made with it as their parent.
class SceneCommand : public QUndoCommand
{
public:
    using QUndoCommand::QUndoCommand;

    void redo() final;

    // The command has just run: the next redo, the push's, does nothing.
    void markPerformed();

protected:
    virtual void perform();

private:
    bool m_performed = false;
};

} // namespace Model
