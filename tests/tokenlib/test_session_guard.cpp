// The scoped session: opened with the scope, closed on the way out exactly once, and never closing
// a session that somebody else opened.
#include "hooked_record.h"
#include "session_guard.h"

#include <gtest/gtest.h>

namespace zr40nn::test {
namespace {

int gCloses = 0;
int gCloseResult = 0;

int countingClose(DEV_ZR40NN_t*)
{
    ++gCloses;
    return gCloseResult;
}

int noAnswer(DEV_ZR40NN_t*, unsigned char*, int, int)
{
    return DEV_ZR40NN_ERR_RECEIVE;
}

int noRequest(DEV_ZR40NN_t*, const unsigned char*, int)
{
    return DEV_ZR40NN_ERR_TRANSMIT;
}

class SessionGuard : public ::testing::Test
{
protected:
    void SetUp() override
    {
        attachHooks(mUt, noAnswer, noRequest);
        mUt.close = countingClose;
        gCloses = 0;
        gCloseResult = 0;
    }
    DEV_ZR40NN_t mUt {};
};

TEST_F(SessionGuard, ClosesOnceWhenTheScopeEnds)
{
    {
        ScopedSession session(&mUt);
        EXPECT_EQ(session.openResult(), 0);
        EXPECT_EQ(mUt.session_is_open, 1);
    }
    EXPECT_EQ(mUt.session_is_open, 0);
    EXPECT_EQ(gCloses, 1);

    {
        ScopedSession session(&mUt);
        EXPECT_EQ(session.close(), 0);
        EXPECT_EQ(session.close(), 0) << "a second close has nothing to do";
    }
    EXPECT_EQ(gCloses, 2);
}

TEST_F(SessionGuard, LeavesAnotherOwnersSessionOpen)
{
    ASSERT_EQ(DEV_ZR40NN_session_open(&mUt), 0);
    {
        ScopedSession session(&mUt);
        EXPECT_EQ(session.openResult(), DEV_ZR40NN_ERR_SESSION_OPEN);
    }
    EXPECT_EQ(mUt.session_is_open, 1);
    EXPECT_EQ(gCloses, 0);
    EXPECT_EQ(DEV_ZR40NN_session_close(&mUt), 0);
}

TEST_F(SessionGuard, AFailedCloseIsReportedAndNotRepeated)
{
    {
        ScopedSession session(&mUt);
        gCloseResult = DEV_ZR40NN_ERR_CONFIGURE;
        EXPECT_EQ(session.close(), DEV_ZR40NN_ERR_CONFIGURE);
    }
    EXPECT_EQ(gCloses, 1);
    EXPECT_EQ(mUt.session_is_open, 1) << "the session stays open, as DEV_ZR40NN_session_close leaves it";
}

} // namespace
} // namespace zr40nn::test
