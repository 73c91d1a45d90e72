// Syntax checks of an IPv4 address and of a network mask in dotted decimal form. White space
// anywhere is ignored.
#pragma once

#include <QString>

// Four parts, each a decimal number from 0 to 255.
bool checkIpAddrSyntax(QString s);
// Four decimal parts: 255 up to the first part that is not, which must be a mask octet (254, 252,
// 248, 240, 224, 192, 128 or 0), and 0 after it.
bool checkNetMaskSyntax(QString s);
