// Base of the worker threads that run one token library call each, off the GUI thread. The GUI
// thread waits in execWithCursor: the window keeps repainting but drops all input, so at most one
// command runs at a time and it is the only thread in the library (which has no locks).
#pragma once

#include "dev_zr40nn.h"

#include <QString>
#include <QThread>

class DEV_ZR40NN_thread : public QThread
{
    Q_OBJECT
public:
    // ut is borrowed; null only for the enumeration worker.
    explicit DEV_ZR40NN_thread(DEV_ZR40NN_t* ut);
    ~DEV_ZR40NN_thread() override;

    // Runs the call with the override cursor `shape` and returns its status once it has finished.
    int execWithCursor(Qt::CursorShape shape);

    int status() const { return mStatus; }
    QString errorString() const { return mErrorString; }
    // Stores the call's result; a negative one also replaces the error string.
    void setStatus(int status);

protected:
    void run() override = 0;

    DEV_ZR40NN_t* mUt;
    // A worker whose run() could make no call (no record, no file handle) reports this.
    int mStatus = DEV_ZR40NN_ERR_UNDEFINED;
    QString mErrorString;
};
