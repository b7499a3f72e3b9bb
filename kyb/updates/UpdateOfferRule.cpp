#include "updates/UpdateOfferRule.h"

#include "platform/Registry.h"

#include <QSettings>

namespace {

const QString versionValue = QStringLiteral("updaterLastVersion");
const QString checkValue = QStringLiteral("updaterLastCheck");

std::function<QDateTime()>& clockFunction()
{
    static std::function<QDateTime()> clock;
    return clock;
}

platform::Registry userRegistry()
{
    return platform::Registry(platform::Registry::Hive::CurrentUser);
}

}  // namespace

std::optional<QString> SettingsOfferStore::lastVersion() const
{
    const QVariant stored = settings_.value(versionValue);
    if (!stored.isValid())
        return std::nullopt;
    return stored.toString();
}

QDateTime SettingsOfferStore::lastCheck() const
{
    return settings_.value(checkValue).toDateTime();
}

void SettingsOfferStore::record(const QString& version, const QDateTime& when)
{
    settings_.setValue(versionValue, version);
    settings_.setValue(checkValue, when);
    settings_.sync();
}

RegistryOfferStore::RegistryOfferStore(const QString& productName, const QString& versionKey)
    : keyPath_(QStringLiteral("SOFTWARE\\Belmo Group\\") + productName + QLatin1Char('\\') + versionKey)
{
}

std::optional<QString> RegistryOfferStore::lastVersion() const
{
    return userRegistry().value(keyPath_, versionValue);
}

QDateTime RegistryOfferStore::lastCheck() const
{
    // Kept as ISO 8601 text with its UTC offset; anything else reads as never.
    const auto stored = userRegistry().value(keyPath_, checkValue);
    return stored ? QDateTime::fromString(*stored, Qt::ISODateWithMs) : QDateTime();
}

void RegistryOfferStore::record(const QString& version, const QDateTime& when)
{
    platform::Registry registry = userRegistry();
    registry.setValue(keyPath_, versionValue, version);
    registry.setValue(keyPath_, checkValue, when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODateWithMs));
}

void setUpdateClock(std::function<QDateTime()> clock)
{
    clockFunction() = std::move(clock);
}

QDateTime updateClockNow()
{
    const auto& clock = clockFunction();
    return clock ? clock() : QDateTime::currentDateTime();
}

bool takeUpdateOffer(UpdateOfferStore& store, const QString& version)
{
    const QString last = store.lastVersion().value_or(version);
    const QDateTime when = store.lastCheck();
    const QDateTime now = updateClockNow();
    // The month is counted in local time, so the last day of a month moves to the last day of the next one.
    if (!last.isNull() && when.isValid() && last == version && now < when.toLocalTime().addMonths(1))
        return false;
    store.record(version, now);
    return true;
}
