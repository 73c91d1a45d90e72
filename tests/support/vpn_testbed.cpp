#include "vpn_testbed.h"

#include "dev_zr40nn.h"
#include "token_configs.h"

#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace morvil::test {

namespace {

using zr40nn::test::kSoPin;
constexpr const char* kOpenSsl = "/usr/bin/openssl";

void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path) << text;
}

// A fresh P-256 key and a certificate for it that the test authority signs.
bool issue(const std::filesystem::path& dir, const std::string& name, const std::string& cn,
           const std::vector<std::string>& extra, std::string& err)
{
    const std::string key = name + ".key";
    return runQuietly({ kOpenSsl, "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                        "-keyout", key, "-subj", "/CN=" + cn, "-out", name + ".csr" },
                      dir, err)
        && runQuietly(std::vector<std::string> { kOpenSsl, "x509", "-req", "-in", name + ".csr", "-CA", "ca.pem",
                                                 "-CAkey", "ca.key", "-set_serial", std::to_string(name.size()),
                                                 "-days", "2", "-out", name + ".pem" },
                      dir, err)
        && (extra.empty() || runQuietly(extra, dir, err));
}

} // namespace

bool runQuietly(const std::vector<std::string>& argv, const std::string& dir, std::string& err)
{
    RunningProcess process(argv[0], { argv.begin() + 1, argv.end() }, dir, "");
    if (!process.waitForExit(60) || process.exitStatus() != 0) {
        err = argv[0] + " " + argv[1] + ": " + process.err();
        return false;
    }
    return true;
}

zr40nn::emu::TokenConfig makeVpnToken(zr40nn::emu::EmulatedBus& bus, const std::string& publicKeyPath)
{
    zr40nn::emu::TokenConfig blank;
    blank.serial = "ZR40NN-VPN01";
    const int id = bus.plug(blank);
    DEV_ZR40NN_lib_init();
    DEV_ZR40NN_t* ut = DEV_ZR40NN_lib_find_devices() == 1 && DEV_ZR40NN_lib_actualize_devices() == 0
        ? DEV_ZR40NN_get_first()
        : nullptr;
    bool ok = ut != nullptr && DEV_ZR40NN_session_open(ut) == 0 && DEV_ZR40NN_cmd_dev_init(ut) == 0;
    if (ok) {
        ut->conf = {};
        std::strcpy(ut->conf.name, kVpnTokenName);
        ut->conf.so_pin_limit = 5;
        ut->conf.user_pin_limit = 3;
        std::memcpy(ut->conf.so_pin, kSoPin, std::strlen(kSoPin));
        std::memcpy(ut->conf.user_pin, kVpnPin, std::strlen(kVpnPin));
        ok = DEV_ZR40NN_cmd_dev_conf(ut) == 0 && DEV_ZR40NN_cmd_read_dev_info(ut) == 0
            && DEV_ZR40NN_cmd_generate_key(ut, kVpnPin, 1, kVpnKeyName, 0) == 0
            && DEV_ZR40NN_cmd_read_key_info(ut, 0) == 0;
    }
    unsigned char der[128];
    const int length = ok ? DEV_ZR40NN_subject_public_key_info(&ut->keys[0], der, sizeof(der)) : -1;
    if (ut != nullptr && ut->session_is_open != 0) {
        DEV_ZR40NN_session_close(ut);
    }
    DEV_ZR40NN_lib_finish();
    // The public key as DER, turned into PEM by openssl.
    const std::string derPath = publicKeyPath + ".der";
    std::ofstream(derPath, std::ios::binary).write(reinterpret_cast<const char*>(der), std::max(length, 0));
    std::string err;
    runQuietly({ kOpenSsl, "pkey", "-pubin", "-inform", "DER", "-in", derPath, "-out", publicKeyPath }, "/", err);
    zr40nn::emu::TokenConfig saved = bus.token(id).snapshot();
    bus.unplug(id);
    return saved;
}

bool makeCertificates(const std::filesystem::path& dir, const std::string& publicKeyPath, std::string& err)
{
    const std::string d = dir.string();
    // The hostile subject's fields, from a request configuration: -subj cannot hold a '/' in a value.
    writeFile(dir / "hostile.cnf",
              "[req]\nprompt = no\ndistinguished_name = dn\n[dn]\n0.O = <b>bold</b>\n1.O = <img src=/dev/zero>\n"
              "2.O = <img src="
                  + (dir / "hostile.fifo").string() + ">\nCN = " + kInitialised + "\n");
    std::filesystem::remove(dir / "hostile.fifo");
    if (mkfifo((dir / "hostile.fifo").c_str(), 0600) != 0) {
        err = "cannot make hostile.fifo";
        return false;
    }
    return runQuietly({ kOpenSsl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                        "-keyout", "ca.key", "-subj", "/CN=Morvil Test VPN CA", "-days", "2", "-out", "ca.pem" },
                      d, err)
        && issue(dir, "server", "vpn-server", {}, err)
        && issue(dir, "plain", "plain-user", {}, err)
        // The user's certificate carries the token's public key; a throw-away key signs the request.
        && issue(dir, "user", kVpnUserCn,
                 { kOpenSsl, "x509", "-req", "-in", "user.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-set_serial",
                   "77", "-days", "2", "-force_pubkey", publicKeyPath, "-out", "user.pem" },
                 err)
        && runQuietly({ kOpenSsl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                        "-keyout", "hostile.key", "-config", "hostile.cnf", "-days", "2", "-out", "hostile.pem" },
                      d, err)
        && runQuietly({ kOpenSsl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                        "-keyout", "stranger.key", "-subj", "/CN=Stranger CA", "-days", "2", "-out", "stranger.pem" },
                      d, err);
}

std::string hostileSubject(const std::filesystem::path& certDir)
{
    return "O=<b>bold</b>, O=<img src=/dev/zero>, O=<img src=" + (certDir / "hostile.fifo").string()
        + ">, CN=" + kInitialised;
}

int freeUdpPort()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    int port = -1;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0
        && getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        close(fd);
    }
    return port;
}

bool tunUsable()
{
    const int fd = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ifreq request {};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    // Straight to the kernel: under the emulated bus, the interposer answers device ioctls itself.
    const bool ok = syscall(SYS_ioctl, fd, TUNSETIFF, &request) == 0;
    close(fd);
    return ok;
}

namespace {

std::unique_ptr<RunningProcess> startServerWith(const std::filesystem::path& certDir, int port, const std::string& ca,
                                                const std::string& name, const std::filesystem::path& crl,
                                                const std::string& proto = "udp4")
{
    std::vector<std::string> args { "--tls-server",      "--dev", "null", "--proto", proto,         "--local",
                                    "127.0.0.1",         "--ca",  ca,     "--cert",  name + ".pem", "--key",
                                    name + ".key",       "--dh",  "none", "--verb",  "3",           "--port",
                                    std::to_string(port) };
    if (!crl.empty()) {
        args.insert(args.end(), { "--crl-verify", crl.string() });
    }
    return std::make_unique<RunningProcess>(kOpenVpn, args, certDir.string(), "");
}

} // namespace

std::unique_ptr<RunningProcess> startServer(const std::filesystem::path& certDir, int port,
                                            const std::filesystem::path& crl)
{
    return startServerWith(certDir, port, "ca.pem", "server", crl);
}

std::unique_ptr<RunningProcess> startHostileServer(const std::filesystem::path& certDir, int port)
{
    return startServerWith(certDir, port, "ca.pem", "hostile", {});
}

std::unique_ptr<RunningProcess> startRefusingServer(const std::filesystem::path& certDir, int port)
{
    return startServerWith(certDir, port, "stranger.pem", "server", {}, "tcp4-server");
}

std::string connectionConf(int port, const std::string& keyReference, const std::string& templateText,
                           const std::string& name)
{
    return "#\n# MorvilVpnName " + name + "\n#\nremote 127.0.0.1\nrport " + std::to_string(port)
        + "\nca ca\ncert user\nkey " + keyReference + "\n\n#\n# configuration template\n#\n\n" + templateText;
}

void makeConnectionDir(const std::filesystem::path& dir, const std::filesystem::path& certDir, const std::string& conf)
{
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(certDir / "ca.pem", dir / "ca", std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(certDir / "user.pem", dir / "user", std::filesystem::copy_options::overwrite_existing);
    writeFile(dir / "conf", conf);
}

std::vector<std::string> clientArguments()
{
    return { "--config", "conf",         "--dev",    "tun",      "--float",
             "--pull",   "--tls-client", "--engkey", "--engine", "dev_zr40nn:log_file:log" };
}

} // namespace morvil::test
