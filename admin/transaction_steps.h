// The frame every device transaction of a token node shares: a session around the commands, and
// steps that stop at the first failure that counts, each failure reported once.
#pragma once

#include "dev_zr40nn_thread.h"
#include "token_transactions.h"

#include <optional>

namespace morvil::admin {

// The transaction's session; neither result is examined: a failed open shows up as the failure
// of the first command.
class SessionScope
{
public:
    explicit SessionScope(DEV_ZR40NN_t* ut)
        : mUt(ut)
    {
        DEV_ZR40NN_session_open(mUt);
    }
    ~SessionScope() { DEV_ZR40NN_session_close(mUt); }
    SessionScope(const SessionScope&) = delete;
    SessionScope& operator=(const SessionScope&) = delete;

private:
    DEV_ZR40NN_t* mUt;
};

// The steps of one transaction: once a step that counts has failed, later steps are skipped.
class Steps
{
public:
    explicit Steps(FailureReport& report)
        : mReport(report)
    {
    }

    // Runs the worker unless an earlier step failed; reports a failure with the worker's error
    // text or `fixedText`, and marks the transaction failed when `setsFailed`.
    bool run(DEV_ZR40NN_thread&& worker, Qt::CursorShape cursor, bool setsFailed = true,
             const std::optional<QString>& fixedText = std::nullopt)
    {
        return run(worker, cursor, setsFailed, fixedText);
    }
    // The same for a worker whose results the caller reads afterwards.
    bool run(DEV_ZR40NN_thread& worker, Qt::CursorShape cursor, bool setsFailed = true,
             const std::optional<QString>& fixedText = std::nullopt)
    {
        if (mFailed) {
            return false;
        }
        if (worker.execWithCursor(cursor) >= 0) {
            return true;
        }
        mReport.failed(fixedText.value_or(worker.errorString()));
        mFailed = mFailed || setsFailed;
        return false;
    }

    // A step made directly in the GUI thread failed: report it and skip what follows.
    void fail(const QString& text)
    {
        mReport.failed(text);
        mFailed = true;
    }

    bool failed() const { return mFailed; }

private:
    FailureReport& mReport;
    bool mFailed = false;
};

} // namespace morvil::admin
