// How the nodes report a transaction's failed steps: at once, one critical box "Błąd" each, with
// no parent window.
#pragma once

#include "message_box.h"
#include "token_transactions.h"

class BoxReport : public morvil::admin::FailureReport
{
public:
    void failed(const QString& text) override { morvil::box::critical(morvil::box::errorTitle(), text); }
};
