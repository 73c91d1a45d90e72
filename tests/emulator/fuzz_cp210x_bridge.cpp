// Fuzzes the CP210x bridge's framing: the input, after one octet that sets the size of the host's
// OUT transfers, is the byte stream the host writes to bulk OUT. Every complete length-prefixed
// frame in it must get exactly one answer frame, in order, whose length octet counts its payload
// and whose payload is a well-formed answer to that frame's request; nothing else comes back.
#include "cp210x_bridge.h"
#include "fuzz_checks.h"

#include <cstddef>
#include <cstdint>

using namespace zr40nn::emu;
using namespace zr40nn::emu::fuzz;

namespace {

constexpr std::size_t kMaxFrames = 16;
constexpr auto kAnswerWait = std::chrono::seconds(10); // an upper bound only: answers come at once

void setUp(Cp210xBridge& bridge)
{
    constexpr std::uint8_t kType = Cp210xBridge::kVendorToInterface;
    bool done = bridge.vendorRequest(kType, Cp210xBridge::kIfcEnable, 1, 0) == 0;
    done &= bridge.vendorRequest(kType, Cp210xBridge::kSetBaudDiv, Cp210xBridge::kBaudDivisor, 0) == 0;
    done &= bridge.vendorRequest(kType, Cp210xBridge::kSetLineCtl, 0x0800, 0) == 0;
    done &= bridge.vendorRequest(kType, Cp210xBridge::kSetMhs, 0x0303, 0) == 0;
    done &= bridge.setConfiguration(1) == 0 && bridge.claimInterface(0) == 0;
    require(done && bridge.ready(), "the bridge takes its set-up");
}

TokenConfig configuredToken()
{
    TokenConfig config;
    config.state = kConfigured;
    config.soPinLimit = config.userPinLimit = 3;
    return config;
}

// Reads one answer frame, in as many IN transfers as it takes.
Bytes readFrame(Cp210xBridge& bridge)
{
    Bytes frame;
    while (frame.empty() || frame.size() < 1u + frame[0]) {
        require(bridge.waitForAnswer(kAnswerWait), "every complete frame is answered");
        std::uint8_t packet[Cp210xBridge::kPacketSize];
        const UsbTransfer t = bridge.bulkIn(Cp210xBridge::kBulkIn, packet, sizeof packet);
        require(t.outcome == UsbTransfer::Outcome::Completed && t.length > 0, "a queued answer is handed out");
        frame.insert(frame.end(), packet, packet + t.length);
    }
    return frame;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const std::size_t chunk = 1 + data[0] % Cp210xBridge::kPacketSize;
    const std::uint8_t* stream = data + 1;
    const std::size_t length = size - 1;

    // The requests the stream holds whole; the rest of it stays in the bridge unanswered.
    std::vector<Bytes> requests;
    std::size_t used = 0;
    while (used < length && used + 1 + stream[used] <= length && requests.size() < kMaxFrames) {
        requests.emplace_back(stream + used + 1, stream + used + 1 + stream[used]);
        used += 1 + stream[used];
    }
    if (used < length && requests.size() == kMaxFrames) {
        return 0; // more frames than one input may hold
    }

    // One bridge for all inputs, as a thread per input would make the fuzzer a benchmark of thread
    // start-up. A bus reset between inputs drops whatever an input left half sent; the token keeps
    // its state from input to input, which the framing does not depend on.
    static TokenModel token(configuredToken());
    static Cp210xBridge bridge(token);
    bridge.reset();
    token.clearLog(); // it would grow with every input
    setUp(bridge);
    const int framesBefore = bridge.framesReceived();
    for (std::size_t at = 0; at < length; at += chunk) {
        const std::size_t part = std::min(chunk, length - at);
        const UsbTransfer t = bridge.bulkOut(Cp210xBridge::kBulkOut, stream + at, part);
        require(t.outcome == UsbTransfer::Outcome::Completed && t.length == part, "bulk OUT takes every octet");
    }
    for (const Bytes& request : requests) {
        const Bytes frame = readFrame(bridge);
        require(frame.size() == 1u + frame[0], "an answer frame's length octet counts its payload");
        checkAnswer(request, Bytes(frame.begin() + 1, frame.end()), token.snapshot());
    }
    std::uint8_t extra[Cp210xBridge::kPacketSize];
    require(bridge.bulkIn(Cp210xBridge::kBulkIn, extra, sizeof extra).outcome == UsbTransfer::Outcome::Pending,
            "nothing comes back beyond the answers");
    require(bridge.framesReceived() - framesBefore == static_cast<int>(requests.size()),
            "the bridge counts the frames");
    return 0;
}
