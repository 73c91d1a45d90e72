#include "token_bus.h"

#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace morvil::test {

emu::EmulatedBus& tokenBus()
{
    static emu::EmulatedBus bus;
    return bus;
}

int PluggedTokens::plug(const emu::TokenConfig& config)
{
    return mIds.emplace_back(tokenBus().plug(config));
}

void PluggedTokens::unplug(int id)
{
    tokenBus().unplug(id);
    std::erase(mIds, id);
}

void PluggedTokens::unplugAll()
{
    for (int id : mIds) {
        tokenBus().unplug(id);
    }
    mIds.clear();
}

QString PluggedTokens::commands(int id)
{
    QStringList codes;
    for (const emu::LogEntry& entry : token(id).log()) {
        codes << QStringLiteral("%1").arg(entry.code, 2, 16, QLatin1Char('0')).toUpper();
    }
    return codes.join(QLatin1Char(' '));
}

} // namespace morvil::test
