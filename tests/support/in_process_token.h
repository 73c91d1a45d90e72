// A device record whose transport hands every request straight to a token model in this process:
// the library's commands, answers and file system without USB, for fuzz targets.
#pragma once

#include "dev_zr40nn.h"
#include "hooked_record.h"
#include "token_model.h"

#include <cstring>
#include <map>

namespace zr40nn::test {

class InProcessToken
{
public:
    explicit InProcessToken(emu::TokenModel& model)
        : mModel(model)
    {
        attachHooks(mRecord, &InProcessToken::read, &InProcessToken::write);
        tokens()[&mRecord] = this;
    }
    ~InProcessToken() { tokens().erase(&mRecord); }
    InProcessToken(const InProcessToken&) = delete;
    InProcessToken& operator=(const InProcessToken&) = delete;

    DEV_ZR40NN_t* record() { return &mRecord; }

private:
    static std::map<const DEV_ZR40NN_t*, InProcessToken*>& tokens()
    {
        static std::map<const DEV_ZR40NN_t*, InProcessToken*> all;
        return all;
    }

    static int write(DEV_ZR40NN_t* ut, const unsigned char* buf, int n)
    {
        InProcessToken* self = tokens().at(ut);
        self->mAnswer = self->mModel.process(emu::Bytes(buf, buf + n));
        return n;
    }

    static int read(DEV_ZR40NN_t* ut, unsigned char* buf, int max, int)
    {
        const emu::Bytes& answer = tokens().at(ut)->mAnswer;
        if (static_cast<int>(answer.size()) > max) {
            return DEV_ZR40NN_ERR_BUFFER_TOO_SMALL;
        }
        std::memcpy(buf, answer.data(), answer.size());
        return static_cast<int>(answer.size());
    }

    emu::TokenModel& mModel;
    DEV_ZR40NN_t mRecord {};
    emu::Bytes mAnswer;
};

} // namespace zr40nn::test
