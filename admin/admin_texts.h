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

// Names that would carry a control character (a line feed, a tab, NUL, DEL, a line separator...)
// into the files of the suite's programs.
QString nameHasControlCharacter();
QString keyNameHasControlCharacter();

// Shown in the technical data in place of the curve's name when the library does not know it.
QString unknownCurve();

// Keys and certificate requests.
QString confirmKeyDelete();
QString keyNameEmpty();
QString keyNameTaken(const QString& name);
QString requestTokenNotUnique(const QString& token);
QString requestKeyNotUnique(const QString& key);
QString requestKeyGone();
QString subjectFieldRefused(const QString& field);
QString engineUnavailable();
QString requestKeyNotLoaded();
QString requestKeyNotChosen(); // the engine handed over another key than the chosen slot's
QString requestNotBuilt();
QString requestNotSigned();
QString requestNotWritten(const QString& file, const QString& reason);

// Token files (%1 the file's name, %2 what the library or the system said).
QString confirmFileDelete();
QString selectFileToDelete();
QString selectFileToSave();
QString tokenFileNotOpened(const QString& name, const QString& detail);
QString tokenFileNotRead(const QString& name, const QString& detail);
QString tokenFileNotClosed(const QString& name, const QString& detail);
QString tokenFileNotCreated(const QString& name, const QString& detail);
QString tokenFileNotWritten(const QString& name, const QString& detail); // "[#1]": into the handle
QString tokenFileNotFlushed(const QString& name, const QString& detail); // "[#2]": onto the token
QString tokenFileNotDeleted(const QString& name, const QString& detail);
QString printableCheckFailed();
QString fileTooLarge(const QString& path);
QString localFileNotRegular(const QString& path);
QString localFileNotOpened(const QString& path, const QString& reason);
QString localFileNotWritten(const QString& path, const QString& reason);

} // namespace morvil::admin::text
