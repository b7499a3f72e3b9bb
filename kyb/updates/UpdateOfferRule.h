#pragma once
// One version is offered at most once a month; a different version is offered at once. The offer is recorded
// ("updaterLastVersion", "updaterLastCheck") before the question is asked, whatever the answer.

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class QSettings;

// Where the two offer values live.
class UpdateOfferStore {
public:
    virtual ~UpdateOfferStore() = default;
    virtual std::optional<QString> lastVersion() const = 0;
    virtual QDateTime lastCheck() const = 0;   // invalid when absent or unreadable
    virtual void record(const QString& version, const QDateTime& when) = 0;
};

// The program's own offer: a QSettings store (the default scope in the program).
class SettingsOfferStore : public UpdateOfferStore {
public:
    explicit SettingsOfferStore(QSettings& settings) : settings_(settings) {}
    std::optional<QString> lastVersion() const override;
    QDateTime lastCheck() const override;
    void record(const QString& version, const QDateTime& when) override;

private:
    QSettings& settings_;
};

// A product's offer: the user's registry key "SOFTWARE\Belmo Group\<product>\<version key>".
class RegistryOfferStore : public UpdateOfferStore {
public:
    RegistryOfferStore(const QString& productName, const QString& versionKey);
    std::optional<QString> lastVersion() const override;
    QDateTime lastCheck() const override;
    void record(const QString& version, const QDateTime& when) override;
    QString keyPath() const { return keyPath_; }

private:
    QString keyPath_;
};

// The clock of the rule; tests set a fixed one. An empty function restores the system clock.
void setUpdateClock(std::function<QDateTime()> clock);
QDateTime updateClockNow();

// True when version may be offered now; it is then recorded as offered.
bool takeUpdateOffer(UpdateOfferStore& store, const QString& version);
