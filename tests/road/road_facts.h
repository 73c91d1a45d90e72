// The names and secrets the road uses, written once for its steps.
#pragma once

#include <QString>

namespace morvil::road {

inline const QString kTokenName = QStringLiteral("DROGA");
inline const QString kSoPin = QStringLiteral("13572468");
inline const QString kUserPin = QStringLiteral("2468");
inline constexpr int kSoPinLimit = 5;
inline constexpr int kUserPinLimit = 3;
// The user's key in slot 0, the authority's in slot 1.
inline constexpr int kUserSlot = 0;
inline constexpr int kAuthoritySlot = 1;
inline const QString kUserKey = QStringLiteral("vpn");
inline const QString kAuthorityKey = QStringLiteral("urzad");
inline const QString kUserCn = QString::fromUtf8("Jan Kowalski");
inline const QString kOrganization = QStringLiteral("Morvil");
inline const QString kAuthority = QStringLiteral("Road_CA");
inline const QString kAuthorityCn = QStringLiteral("Morvil Road CA");
inline const QString kServerCn = QStringLiteral("road-server");
inline const QString kConnection = QStringLiteral("Droga VPN");

// What the road keeps (MORVIL_ROAD_OUT) and the files the steps pass on.
inline const QString kRequestFile = QStringLiteral("request.pem");
inline const QString kUserCertFile = QStringLiteral("user.pem");
inline const QString kCrlFile = QStringLiteral("crl.pem");
inline const QString kVpnLogFile = QStringLiteral("vpn.log");
inline const QString kTokenStateFile = QStringLiteral("token.state");
inline const QString kAuthorityCopy = QStringLiteral("ca");
// The server's certificates, laid out as the test bed's server wants them.
inline const QString kServerDir = QStringLiteral("server");

} // namespace morvil::road
