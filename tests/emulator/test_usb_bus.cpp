// The emulated tokens as the real libusb 0.1 sees them through /dev/bus/usb, in this process under
// umockdev's preload: the handler runs on the test bed's worker thread while libusb runs here.
#include "token_requests.h"
#include "usb_client.h"
#include "usb_testbed.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace zr40nn::emu;
using namespace zr40nn::emu::test;

namespace {

TokenConfig tokenWithSerial(const std::string& serial)
{
    TokenConfig config;
    config.serial = serial;
    config.product = "DEV-ZR40NN";
    return config;
}

class UsbBusTest : public ::testing::Test
{
protected:
    // libusb 0.1 settles on its device directory in usb_init, so the bus must exist first.
    void SetUp() override { usb_init(); }

    // Plugs one token and opens it.
    struct usb_device* plugOne(const TokenConfig& config = tokenWithSerial("ZR40NN-0001"))
    {
        id = bus.plug(config);
        const auto found = scanTokens();
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? nullptr : found[0];
    }

    EmulatedBus bus;
    int id = 0;
};

TEST_F(UsbBusTest, PlugAndUnplugAreSeenByTheNextScan)
{
    EXPECT_TRUE(scanTokens().empty());
    const int first = bus.plug(tokenWithSerial("A-1"));
    const int second = bus.plug(tokenWithSerial("A-2"));
    auto found = scanTokens();
    ASSERT_EQ(found.size(), 2u);
    for (struct usb_device* device : found) {
        EXPECT_STREQ(device->bus->dirname, "001");
        EXPECT_EQ(device->descriptor.bNumConfigurations, 1);
        ASSERT_NE(device->config, nullptr);
        const auto& alt = device->config->interface[0].altsetting[0];
        ASSERT_EQ(alt.bNumEndpoints, 2);
        EXPECT_EQ(alt.endpoint[0].bEndpointAddress, 0x81);
        EXPECT_EQ(alt.endpoint[1].bEndpointAddress, 0x01);
        EXPECT_EQ(alt.endpoint[0].wMaxPacketSize, 64);
    }

    bus.unplug(first);
    found = scanTokens();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ("/dev/bus/usb/001/" + std::string(found[0]->filename), bus.devicePath(second));

    const int third = bus.plug(tokenWithSerial("A-3"));
    EXPECT_NE(bus.devicePath(third), bus.devicePath(first)) << "a new device number, as on a real bus";
    found = scanTokens();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(bus.tokens(), (std::vector<int> { second, third }));
}

TEST_F(UsbBusTest, StringDescriptorsGiveProductAndSerial)
{
    struct usb_device* device = plugOne(tokenWithSerial("SN-4711"));
    ASSERT_NE(device, nullptr);
    UsbHandle handle(device);
    EXPECT_EQ(handle.text(device->descriptor.iProduct), "DEV-ZR40NN");
    EXPECT_EQ(handle.text(device->descriptor.iSerialNumber), "SN-4711");

    unsigned char languages[16] = {};
    ASSERT_EQ(usb_get_string(handle.get(), 0, 0, reinterpret_cast<char*>(languages), sizeof languages), 4);
    EXPECT_EQ(languages[0], 4);
    EXPECT_EQ(languages[1], 3);
    EXPECT_EQ(languages[2] | languages[3] << 8, 0x0409);
    EXPECT_EQ(handle.text(7), "<none>") << "no such string";
}

TEST_F(UsbBusTest, BulkTrafficIsRefusedUntilTheSetupIsComplete)
{
    struct usb_device* device = plugOne();
    ASSERT_NE(device, nullptr);
    for (int skip = 1; skip <= 6; ++skip) {
        SCOPED_TRACE(skip);
        UsbHandle handle(device);
        ASSERT_EQ(handle.setUp(skip), 0);
        EXPECT_FALSE(bus.bridgeReady(id));
        EXPECT_EQ(handle.write(infoRequest()), -EPIPE);
        std::uint8_t buffer[130];
        EXPECT_EQ(handle.read(buffer, sizeof buffer), -EPIPE);
    }
    EXPECT_TRUE(bus.token(id).log().empty());
    EXPECT_EQ(bus.resetCount(id), 6) << "each close reset the device";

    UsbHandle handle(device);
    ASSERT_EQ(handle.setUp(), 0);
    EXPECT_TRUE(bus.bridgeReady(id));
    EXPECT_EQ(handle.exchange(infoRequest()).size(), 25u);
    ASSERT_EQ(usb_reset(handle.get()), 0);
    EXPECT_FALSE(bus.bridgeReady(id)) << "a reset ends the set-up";
    EXPECT_EQ(handle.write(infoRequest()), -EPIPE);
}

TEST_F(UsbBusTest, FailedSetupStepFailsItsCall)
{
    struct usb_device* device = plugOne();
    ASSERT_NE(device, nullptr);
    for (int step = 1; step <= 6; ++step) {
        SCOPED_TRACE(step);
        BridgeFaults faults;
        faults.failSetupStep = step;
        bus.setFaults(id, faults);
        UsbHandle handle(device);
        EXPECT_LT(handle.setUp(), 0);
        EXPECT_FALSE(bus.bridgeReady(id));
    }
}

TEST_F(UsbBusTest, LongAnswerIsJoinedFromSeveralTransfers)
{
    struct usb_device* device = plugOne();
    ASSERT_NE(device, nullptr);
    UsbHandle handle(device);
    ASSERT_EQ(handle.setUp(), 0);

    std::vector<int> sizes;
    const Bytes random = handle.exchange(randomRequest(120), &sizes);
    ASSERT_EQ(random.size(), 121u);
    EXPECT_EQ(random[0], 0x00);
    EXPECT_EQ(sizes, (std::vector<int> { 64, 58 })) << "a 130-octet read still gets one packet";

    BridgeFaults faults;
    faults.splitAnswerAt = 10;
    bus.setFaults(id, faults);
    sizes.clear();
    EXPECT_EQ(handle.exchange(infoRequest(), &sizes).size(), 25u);
    EXPECT_EQ(sizes, (std::vector<int> { 10, 10, 6 }));
}

TEST_F(UsbBusTest, OneExchangeOfEachKind)
{
    TokenConfig config = tokenWithSerial("K-1");
    config.curveId = 2240;
    config.mainVer = 2;
    config.subVer = 7;
    config.publicMemory.assign(16384, 0);
    for (int i = 0; i < 64; ++i) {
        config.publicMemory[3 * 64 + i] = static_cast<std::uint8_t>(i + 1);
    }
    struct usb_device* device = plugOne(config);
    ASSERT_NE(device, nullptr);
    UsbHandle handle(device);
    ASSERT_EQ(handle.setUp(), 0);

    const Bytes info = handle.exchange(infoRequest());
    ASSERT_EQ(info.size(), 25u);
    const Info parsed = parseInfo(info);
    EXPECT_EQ(parsed.state, 0);
    EXPECT_EQ(parsed.mainVer, 2);
    EXPECT_EQ(parsed.subVer, 7);
    EXPECT_EQ(parsed.publicMem, 16384);
    EXPECT_EQ(parsed.curveId, 2240);

    const Bytes random = handle.exchange(randomRequest(17));
    EXPECT_EQ(random.size(), 18u);

    const Bytes object = handle.exchange(readObjectRequest(3));
    ASSERT_EQ(object.size(), 65u);
    EXPECT_EQ(Bytes(object.begin() + 1, object.end()),
              Bytes(config.publicMemory.begin() + 192, config.publicMemory.begin() + 256));

    const Bytes refused = handle.exchange(tryPinRequest(1, "1234"));
    EXPECT_EQ(refused, (Bytes { 0x80, 0x01 })) << "no PIN on a blank token";

    const auto log = bus.token(id).log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].code, 0x02);
    EXPECT_EQ(log[1].code, 0x05);
    EXPECT_EQ(log[2].object, 3);
    EXPECT_EQ(log[3].status, 1);
}

TEST_F(UsbBusTest, ReadWithNothingToGiveTimesOutAndTheLinkRecovers)
{
    struct usb_device* device = plugOne();
    ASSERT_NE(device, nullptr);
    UsbHandle handle(device);
    ASSERT_EQ(handle.setUp(), 0);
    std::uint8_t buffer[130];
    EXPECT_EQ(handle.read(buffer, sizeof buffer, 50), -ETIMEDOUT);

    BridgeFaults faults;
    faults.dropAnswers = true;
    bus.setFaults(id, faults);
    ASSERT_EQ(handle.write(randomRequest(4)), 4);
    EXPECT_EQ(handle.read(buffer, sizeof buffer, 50), -ETIMEDOUT);

    bus.setFaults(id, {});
    EXPECT_EQ(handle.exchange(infoRequest()).size(), 25u) << "the discarded reads left nothing behind";
}

TEST_F(UsbBusTest, ZeroLengthAndLengthFaultsReachTheHost)
{
    struct usb_device* device = plugOne();
    ASSERT_NE(device, nullptr);
    UsbHandle handle(device);
    ASSERT_EQ(handle.setUp(), 0);
    std::uint8_t buffer[130];

    BridgeFaults faults;
    faults.zeroLengthForever = true;
    bus.setFaults(id, faults);
    ASSERT_EQ(handle.write(infoRequest()), 3);
    EXPECT_EQ(handle.read(buffer, sizeof buffer), 0);
    EXPECT_EQ(handle.read(buffer, sizeof buffer), 0);

    bus.setFaults(id, {});
    EXPECT_EQ(handle.read(buffer, sizeof buffer), 26) << "the answer held back meanwhile";

    faults = {};
    faults.answerLengthDelta = 2;
    bus.setFaults(id, faults);
    ASSERT_EQ(handle.write(infoRequest()), 3);
    EXPECT_EQ(handle.read(buffer, sizeof buffer), 26);
    EXPECT_EQ(buffer[0], 27) << "announces two octets more than it carries";
    EXPECT_EQ(handle.read(buffer, sizeof buffer, 50), -ETIMEDOUT) << "a host waiting for them waits in vain";
}

TEST_F(UsbBusTest, TokenThatVanishesMidSessionLeavesTheBus)
{
    struct usb_device* device = plugOne();
    ASSERT_NE(device, nullptr);
    BridgeFaults faults;
    faults.unplugAfterFrames = 1;
    bus.setFaults(id, faults);
    {
        UsbHandle handle(device);
        ASSERT_EQ(handle.setUp(), 0);
        EXPECT_EQ(handle.exchange(infoRequest()).size(), 25u);
        EXPECT_EQ(handle.write(infoRequest()), 3) << "the frame went out before the token left";
        std::uint8_t buffer[130];
        EXPECT_EQ(handle.read(buffer, sizeof buffer), -ENODEV);
        EXPECT_LT(usb_control_msg(handle.get(), 0x41, 0x00, 1, 0, nullptr, 0, kTimeoutMs), 0);
    }
    EXPECT_TRUE(scanTokens().empty());
    EXPECT_TRUE(bus.tokens().empty());
    EXPECT_EQ(bus.token(id).log().size(), 1u) << "an unplugged token's log stays readable";
    EXPECT_NO_THROW(bus.unplug(id));
    EXPECT_THROW(bus.token(id + 1), std::out_of_range);
}

TEST_F(UsbBusTest, UnplugWhileOpenFailsLaterRequests)
{
    struct usb_device* device = plugOne();
    ASSERT_NE(device, nullptr);
    UsbHandle handle(device);
    ASSERT_EQ(handle.setUp(), 0);
    bus.unplug(id);
    EXPECT_EQ(handle.write(infoRequest()), -ENODEV);
    EXPECT_TRUE(scanTokens().empty());
}

TEST_F(UsbBusTest, NodeThatCannotBeOpenedRefusesEveryRequest)
{
    struct usb_device* device = plugOne();
    ASSERT_NE(device, nullptr);
    BridgeFaults faults;
    faults.failOpen = true;
    bus.setFaults(id, faults);
    UsbHandle handle(device);
    EXPECT_EQ(handle.setUp(), -EACCES);
    EXPECT_EQ(handle.text(device->descriptor.iSerialNumber), "<none>");
}

TEST_F(UsbBusTest, WireTimeStillDeliversEveryAnswer)
{
    bus.setWireTime(true);
    struct usb_device* device = plugOne();
    ASSERT_NE(device, nullptr);
    UsbHandle handle(device);
    ASSERT_EQ(handle.setUp(), 0);
    EXPECT_EQ(handle.exchange(randomRequest(120)).size(), 121u);
    EXPECT_EQ(handle.exchange(infoRequest()).size(), 25u);
}

TEST_F(UsbBusTest, TwoTokensAnswerIndependently)
{
    const int a = bus.plug(tokenWithSerial("T-A"));
    const int b = bus.plug(tokenWithSerial("T-B"));
    const auto found = scanTokens();
    ASSERT_EQ(found.size(), 2u);
    UsbHandle first(found[0]);
    UsbHandle second(found[1]);
    ASSERT_EQ(first.setUp(), 0);
    ASSERT_EQ(second.setUp(), 0);
    ASSERT_EQ(first.write(randomRequest(3)), 4);
    EXPECT_EQ(second.exchange(infoRequest()).size(), 25u);
    EXPECT_EQ(first.readAnswer().size(), 4u);
    EXPECT_EQ(bus.token(a).log().size(), 1u);
    EXPECT_EQ(bus.token(b).log().size(), 1u);
}

} // namespace
