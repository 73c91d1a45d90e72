// The emulated tokens as the real libusb 0.1 sees them through /dev/bus/usb, in this process under
// umockdev's preload: the handler runs on the test bed's worker thread while libusb runs here.
#include "token_requests.h"
#include "usb_client.h"
#include "usb_testbed.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

using namespace zr40nn::emu;
using namespace zr40nn::emu::test;

namespace {

TokenConfig tokenWithSerial(const std::string& serial)
{
    TokenConfig config;
    config.serial = serial;
    return config;
}

class UsbBusTest : public ::testing::Test
{
protected:
    // libusb 0.1 settles on its device directory in usb_init, so the bus must exist first.
    void SetUp() override { usb_init(); }

    // Plugs one token and finds it on the bus.
    struct usb_device* plugOne(const TokenConfig& config = tokenWithSerial("ZR40NN-0001"))
    {
        id = bus.plug(config);
        const auto found = scanTokens();
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? nullptr : found[0];
    }

    // Plugs one token, opens it and sets up its bridge.
    UsbHandle& openOne(const TokenConfig& config = tokenWithSerial("ZR40NN-0001"))
    {
        opened = std::make_unique<UsbHandle>(plugOne(config));
        EXPECT_EQ(opened->setUp(), 0);
        return *opened;
    }

    EmulatedBus bus;
    int id = 0;
    std::unique_ptr<UsbHandle> opened; // closed before the bus goes
    std::uint8_t buffer[130] = {};
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

TEST_F(UsbBusTest, LongAnswerIsJoinedFromSeveralTransfers)
{
    UsbHandle& token = openOne();
    std::vector<int> sizes;
    const Bytes random = token.exchange(randomRequest(120), &sizes);
    ASSERT_EQ(random.size(), 121u);
    EXPECT_EQ(random[0], 0x00);
    EXPECT_EQ(sizes, (std::vector<int> { 64, 58 })) << "a 130-octet read still gets one packet";

    bus.setWireTime(true);
    EXPECT_EQ(token.exchange(randomRequest(120)).size(), 121u) << "answers held back for their wire time";
}

TEST_F(UsbBusTest, AnswerFaultsReachTheHost)
{
    UsbHandle& token = openOne();
    EXPECT_EQ(token.read(buffer, sizeof buffer, 50), -ETIMEDOUT) << "nothing asked, nothing to read";

    BridgeFaults faults;
    faults.dropAnswers = true;
    bus.setFaults(id, faults);
    ASSERT_EQ(token.write(randomRequest(4)), 4);
    EXPECT_EQ(token.read(buffer, sizeof buffer, 50), -ETIMEDOUT);

    bus.setFaults(id, {});
    EXPECT_EQ(token.exchange(infoRequest()).size(), 25u) << "the dropped answer left nothing behind";

    faults = {};
    faults.answerLengthDelta = 2;
    bus.setFaults(id, faults);
    ASSERT_EQ(token.write(infoRequest()), 3);
    EXPECT_EQ(token.read(buffer, sizeof buffer), 26);
    EXPECT_EQ(buffer[0], 27) << "announces two octets more than it carries";
    EXPECT_EQ(token.read(buffer, sizeof buffer, 50), -ETIMEDOUT) << "a host waiting for them waits in vain";
}

TEST_F(UsbBusTest, TokenThatVanishesMidSessionLeavesTheBus)
{
    BridgeFaults faults;
    faults.unplugAfterFrames = 1;
    UsbHandle& token = openOne();
    bus.setFaults(id, faults);
    EXPECT_EQ(token.exchange(infoRequest()).size(), 25u);
    EXPECT_EQ(token.write(infoRequest()), 3) << "the frame went out before the token left";
    EXPECT_EQ(token.read(buffer, sizeof buffer), -ENODEV);
    EXPECT_LT(usb_control_msg(token.get(), 0x41, 0x00, 1, 0, nullptr, 0, kTimeoutMs), 0);
    opened.reset();
    EXPECT_TRUE(scanTokens().empty());
    EXPECT_TRUE(bus.tokens().empty());
    EXPECT_EQ(bus.token(id).log().size(), 1u) << "an unplugged token's log stays readable";
    EXPECT_NO_THROW(bus.unplug(id));
    EXPECT_THROW(bus.token(id + 1), std::out_of_range);
}

TEST_F(UsbBusTest, TwoTokensAnswerIndependentlyAndLogWhatTheyGot)
{
    TokenConfig config = tokenWithSerial("T-B");
    config.curveId = 2240;
    const int a = bus.plug(tokenWithSerial("T-A"));
    const int b = bus.plug(config);
    const auto found = scanTokens();
    ASSERT_EQ(found.size(), 2u);
    UsbHandle first(bus.devicePath(a).ends_with(found[0]->filename) ? found[0] : found[1]);
    UsbHandle second(bus.devicePath(b).ends_with(found[0]->filename) ? found[0] : found[1]);
    ASSERT_EQ(first.setUp(), 0);
    ASSERT_EQ(second.setUp(), 0);
    ASSERT_EQ(first.write(randomRequest(3)), 4);
    const Bytes info = second.exchange(infoRequest());
    ASSERT_EQ(info.size(), 25u);
    EXPECT_EQ(info[23] << 8 | info[24], 2240);
    EXPECT_EQ(first.readAnswer().size(), 4u);
    EXPECT_EQ(second.exchange(tryPinRequest(1, "1234")), (Bytes { 0x80, 0x01 })) << "no PIN on a blank token";

    EXPECT_EQ(bus.token(a).log().size(), 1u);
    const auto log = bus.token(b).log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].code, 0x02);
    EXPECT_EQ(log[1].pin, "1234");
    EXPECT_EQ(log[1].status, 1);
}

} // namespace
