// The PIN forms' refusals and texts that the pages' tests type and expect, and the check that a
// form was emptied.
#pragma once

#include "page_controls.h"

#include <QString>
#include <QWidget>

#include <algorithm>
#include <initializer_list>

namespace morvil::test {

const QString kFivePolish = QString::fromUtf8("ąćęłń"); // 10 octets
const QString kNineOctets = QString::fromUtf8("ąćęł1"); // 9 octets
const QString kEightOctets = QString::fromUtf8("ąćę12"); // 8 octets

const QString kSoPinsDiffer = QString::fromUtf8("Pola zawierające PIN administratora nie są identyczne.");
const QString kUserPinsDiffer = QString::fromUtf8("Pola zawierające PIN użytkownika nie są identyczne.");
const QString kSoPinTooLong = QString::fromUtf8("PIN administratora jest za długi. Może on zawierać co najwyżej 8 "
                                                "znaków. Litery takie jak 'ą', 'ć', itd. kodowane są na 2 znakach.");
const QString kUserPinTooLong
    = QString::fromUtf8("PIN użytkownika jest za długi. Może on zawierać co najwyżej 8 znaków. "
                        "Litery takie jak 'ą', 'ć', itd. kodowane są na 2 znakach.");

inline bool formIsEmpty(QWidget& page, std::initializer_list<const char*> edits)
{
    return std::all_of(edits.begin(), edits.end(), [&](const char* edit) { return textOf(&page, edit).isEmpty(); });
}

} // namespace morvil::test
