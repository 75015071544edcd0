#pragma once

#include "CGuiBatchQueue.h"
#include "platform/IRunControls.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

class ITextBox;

// Carries log lines and control changes from any thread to the window's
// thread, in the order they were made. The window thread takes everything
// pending in one go and puts runs of lines into the log box as one
// insertion, which keeps the box fast when a run logs faster than the box
// could take lines one by one. A call made on the window thread itself first
// carries out what is pending and then its own change, at once.
class CLogBoxQueue : public QObject, public IRunControls {
public:
    using ControlHandler = std::function<void(ERunControl eControl, bool bEnable)>;

    CLogBoxQueue(ITextBox& logBox, ControlHandler controlHandler, QObject* pParent = nullptr);

    // A stamped line for the log box (the log writer's line sink).
    void PostLine(const QString& strLine);
    void EnableControl(ERunControl eControl, bool bEnable) override;

    // Carries out everything pending; window thread only.
    void Drain();

    // Puts the lines at the end of the box exactly as one call of the log
    // writer's PutLineInBox per line would: the box is emptied first whenever
    // the next line would reach its text limit.
    static void AppendLines(ITextBox& box, const QStringList& lines);

    // Most entries carried out by one turn of the window's event loop; the
    // rest wait for the next turn, so painting and input keep going.
    static constexpr int kMaxEntriesPerTurn = kGuiMaxEntriesPerTurn;

private:
    struct Entry {
        bool bLine = true;
        QString strLine;
        ERunControl eControl = ERunControl::Send;
        bool bEnable = false;
    };

    void Post(Entry entry);
    void CarryOut(std::deque<Entry>& entries);

    ITextBox& m_logBox;
    ControlHandler m_controlHandler;
    CGuiBatchQueue<Entry> m_queue;
};
