#include "dev_zr40nn_thread.h"

#include "input_guard.h"

#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>

DEV_ZR40NN_thread::DEV_ZR40NN_thread(DEV_ZR40NN_t* ut)
    : mUt(ut)
{
}

DEV_ZR40NN_thread::~DEV_ZR40NN_thread()
{
    wait();
}

int DEV_ZR40NN_thread::execWithCursor(Qt::CursorShape shape)
{
    // The loop quits on `finished`, which is queued to this thread: it is delivered inside exec()
    // even when the call ends before the loop starts. What the user does meanwhile is dropped, so
    // no second command starts, neither now nor once this one is over.
    QEventLoop loop;
    connect(this, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    start(QThread::InheritPriority);
    QGuiApplication::setOverrideCursor(QCursor(shape));
    {
        morvil::InputGuard guard;
        loop.exec();
    }
    QGuiApplication::restoreOverrideCursor();
    wait();
    return mStatus;
}

void DEV_ZR40NN_thread::setStatus(int status)
{
    mStatus = status;
    if (status < 0) {
        mErrorString = mUt != nullptr ? QString::fromUtf8(DEV_ZR40NN_lib_detail_error_desc(mUt))
                                      : QString::fromUtf8(DEV_ZR40NN_lib_error_desc(status));
    }
}
