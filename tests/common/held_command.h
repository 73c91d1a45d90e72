// Acting while the program is inside a token command: the token holds the command until the test
// has acted from this thread's event loop. A program that waits for the command on this thread
// without serving events gives the test no turn: the library's wait for the answer runs out first.
#pragma once

#include "token_bus.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

namespace morvil::test {

class DuringHeldCommand : public QObject
{
public:
    // Holds the next command with `code` that `token` receives; once it holds it, runs `act` and
    // lets the command answer.
    DuringHeldCommand(emu::TokenModel& token, std::uint8_t code, std::function<void()> act)
        : mToken(token)
        , mAct(std::move(act))
    {
        mToken.holdNext(code);
        mTimer.setInterval(5);
        connect(&mTimer, &QTimer::timeout, this, [this] {
            if (!mToken.holding()) {
                return;
            }
            mTimer.stop();
            mAct();
            mActed = true;
            mToken.releaseHeld();
        });
        mTimer.start();
    }
    ~DuringHeldCommand() override { mToken.releaseHeld(); }

    bool acted() const { return mActed; }

private:
    emu::TokenModel& mToken;
    std::function<void()> mAct;
    QTimer mTimer;
    bool mActed = false;
};

} // namespace morvil::test
