// The texts morvil_admin shows in its boxes, each written once. The Polish is the product's own,
// its spelling included.
#pragma once

#include <QString>

namespace morvil::admin::text {

QString wrongPin(); // a refused PIN check or unlock
QString configureNoticeTitle(); // "Imformacja"
QString configureNotice();

// The form refusals; `so` picks the administrator's variant.
QString nameTooLong();
QString pinsDiffer(bool so);
QString pinTooLong(bool so);
QString confirmPinChange(bool so);
QString confirmErase();

// Shown in the technical data in place of the curve's name when the library does not know it.
QString unknownCurve();

} // namespace morvil::admin::text
