#include "dev_zr40nn_thread.h"

#include "guarded_work.h"

#include <QCursor>
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
    // What the user does meanwhile is dropped, so no second command starts, neither now nor once
    // this one is over.
    QGuiApplication::setOverrideCursor(QCursor(shape));
    morvil::waitGuarded(*this);
    QGuiApplication::restoreOverrideCursor();
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
