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

QString nameHasControlCharacter()
{
    return tr("Nazwa tokenu nie może zawierać znaków sterujących, takich jak znak nowej linii lub tabulacji.");
}
QString keyNameHasControlCharacter()
{
    return tr("Nazwa klucza nie może zawierać znaków sterujących, takich jak znak nowej linii lub tabulacji.");
}

QString unknownCurve()
{
    return tr("nieobsługiwana przez bibliotekę");
}

QString confirmKeyDelete()
{
    return tr("Czy jesteś pewien, że chcesz usunąć klucz?");
}
QString keyNameEmpty()
{
    return tr("Nazwa klucza nie może być pusta.");
}
QString keyNameTaken(const QString& name)
{
    return tr("Token ma już klucz o nazwie %1. Nazwa klucza musi być niepowtarzalna.").arg(name);
}
QString requestTokenNotUnique(const QString& token)
{
    return tr("Token %1 nie jest już podłączony albo nie jest jedynym tokenem o tej nazwie. Zgłoszenie nie zostało "
              "utworzone.")
        .arg(token);
}
QString requestKeyNotUnique(const QString& key)
{
    return tr("Token ma więcej niż jeden klucz o nazwie %1. Zgłoszenie nie zostało utworzone.").arg(key);
}
QString requestKeyGone()
{
    return tr("Wskazanego klucza nie ma już na tokenie. Zgłoszenie nie zostało utworzone.");
}
QString subjectFieldRefused(const QString& field)
{
    return tr("Pole %1 ma niepoprawną wartość. Zgłoszenie nie zostało utworzone.").arg(field);
}
QString engineUnavailable()
{
    return tr("Nie można uruchomić obsługi tokenu w bibliotece OpenSSL.");
}
QString requestKeyNotLoaded()
{
    return tr("Nie można wczytać klucza z tokenu.");
}
QString requestKeyNotChosen()
{
    return tr("Klucz wczytany z tokenu nie jest wskazanym kluczem (może być podłączony inny token o tej samej "
              "nazwie). Zgłoszenie nie zostało utworzone.");
}
QString requestNotBuilt()
{
    return tr("Nie można utworzyć zgłoszenia certyfikacyjnego.");
}
QString requestNotSigned()
{
    return tr("Token nie podpisał zgłoszenia certyfikacyjnego.");
}
QString requestNotWritten(const QString& file, const QString& reason)
{
    return tr("Nie można zapisać zgłoszenia do pliku %1.\n\n%2").arg(file, reason);
}

QString confirmFileDelete()
{
    return tr("Czy jesteś pewien, że chcesz usunąć plik?");
}
QString selectFileToDelete()
{
    return tr("Musisz wskazać plik, który ma być usunięty.");
}
QString selectFileToSave()
{
    return tr("Musisz wskazać plik, który ma być zapisany.");
}
QString tokenFileNotOpened(const QString& name, const QString& detail)
{
    return tr("Nie można otworzyć pliku %1 umieszczonego na tokenie.\n\n%2").arg(name, detail);
}
QString tokenFileNotRead(const QString& name, const QString& detail)
{
    return tr("Nie można od czytać pliku %1 umieszczonego na tokenie.\n\n%2").arg(name, detail);
}
QString tokenFileNotClosed(const QString& name, const QString& detail)
{
    return tr("Nie można zamknąć pliku %1 umieszczonego na tokenie.\n\n%2").arg(name, detail);
}
QString tokenFileNotCreated(const QString& name, const QString& detail)
{
    return tr("Nie można utworzyć pliku %1 na tokenie.\n\n%2").arg(name, detail);
}
QString tokenFileNotWritten(const QString& name, const QString& detail)
{
    return tr("Nie można zapisać danych do pliku %1 umieszczonego na tokenie [#1].\n\n%2").arg(name, detail);
}
QString tokenFileNotFlushed(const QString& name, const QString& detail)
{
    return tr("Nie można zapisać danych do pliku %1 umieszczonego na tokenie [#2].\n\n%2").arg(name, detail);
}
QString tokenFileNotDeleted(const QString& name, const QString& detail)
{
    return tr("Nie można usunąć pliku %1 umieszczonego na tokenie.\n\n%2").arg(name, detail);
}
QString printableCheckFailed()
{
    return tr("Nie można sprawdzić, czy plik jest drukowalny.");
}
QString fileTooLarge(const QString& path)
{
    return tr("Plik %1 jest zbyt duży, aby mógł zostać zapisany na tokenie.").arg(path);
}
QString localFileNotRegular(const QString& path)
{
    return tr("%1 nie jest zwykłym plikiem i nie może zostać zapisany na tokenie.").arg(path);
}
QString localFileNotOpened(const QString& path, const QString& reason)
{
    return tr("Nie można otworzyć pliku %1.\n\n%2").arg(path, reason);
}
QString localFileNotWritten(const QString& path, const QString& reason)
{
    return tr("Nie można zapisać pliku %1.\n\n%2").arg(path, reason);
}

} // namespace morvil::admin::text
