#include "admin_texts.h"

#include <QCoreApplication>

namespace morvil::admin::text {
namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("MorvilAdmin", text);
}

} // namespace

QString wrongPin()
{
    return tr("Podany PIN jest nieprawidłowy.");
}
QString configureNoticeTitle()
{
    return tr("Imformacja");
}
QString configureNotice()
{
    return tr("Konfiguracja urządzenia może potrwać od kilku do kilkudziesięciu sekund. Prosimy o cierpliwość.");
}

QString nameTooLong()
{
    return tr("Nazwa tokenu jest za długa. Może ona zawierać co najwyżej 10 znaków. Litery takie jak 'ą', 'ć', "
              "itd. kodowane są na 2 znakach.");
}

QString pinsDiffer(bool so)
{
    return so ? tr("Pola zawierające PIN administratora nie są identyczne.")
              : tr("Pola zawierające PIN użytkownika nie są identyczne.");
}

QString pinTooLong(bool so)
{
    return so ? tr("PIN administratora jest za długi. Może on zawierać co najwyżej 8 znaków. Litery takie jak 'ą', "
                   "'ć', itd. kodowane są na 2 znakach.")
              : tr("PIN użytkownika jest za długi. Może on zawierać co najwyżej 8 znaków. Litery takie jak 'ą', "
                   "'ć', itd. kodowane są na 2 znakach.");
}

QString confirmPinChange(bool so)
{
    return so ? tr("Czy jesteś pewien, że chcesz zmienić PIN administratora?")
              : tr("Czy jesteś pewien, że chcesz zmienić PIN użytkownika?");
}

QString confirmErase()
{
    return tr("Czy jesteś pewien, że chcesz skasować pamięć i konfigurację tokenu?");
}

QString unknownCurve()
{
    return tr("nieobsługiwana przez bibliotekę");
}

} // namespace morvil::admin::text
