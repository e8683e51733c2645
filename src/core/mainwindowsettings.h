#pragma once

#include <QString>
#include <Qt>
#include <optional>

class SettingsStore;

/// Addresses in flight during a run, from the "Parallel" setting.
inline constexpr int kDefaultParallel = 256;
inline constexpr int kMaxParallel = 65536;

/// Reads a settings text as a 16-bit signed whole number: the whole text
/// must be a decimal number (spaces around it allowed); a fraction is
/// rounded to the nearest whole number, halves to the even one. Nothing
/// when the text is no number or the result does not fit in 16 bits.
std::optional<qint16> settingToInteger(const QString &text);

/// The check box state a stored "Enabled"/"Overwrite" text asks for:
/// 0 unchecked, 1 checked, 2 greyed; nothing for any other text.
std::optional<Qt::CheckState> checkStateFromSetting(const QString &text);

/// The text stored for a check box state: "0", "1" or "2".
QString checkStateSettingText(Qt::CheckState state);

/// Addresses in flight from the stored "Parallel" text: a whole number
/// from 1 to kMaxParallel, anything else gives kDefaultParallel.
int parallelFromSetting(const QString &text);

/// What the main window keeps between runs of the program.
struct MainWindowValues
{
    QString path;
    QString file;
    QString start;
    QString stop;
    Qt::CheckState enabled = Qt::Checked;
    Qt::CheckState overwrite = Qt::Checked;
    int parallel = kDefaultParallel;
};

/// The main window's keys under "Corvane"/"Options": read once at start-up,
/// written once at close.
class MainWindowSettings
{
public:
    explicit MainWindowSettings(SettingsStore &store)
        : m_store(store)
    {}

    /// Every key with its default; "Path" defaults to @p defaultPath. A check
    /// box text that is no 0, 1 or 2 gives the box's designed state, checked.
    MainWindowValues read(const QString &defaultPath);
    /// The six keys ("Parallel" is only read), each tried even when one
    /// before it failed, then one flush.
    void write(const MainWindowValues &values);

private:
    QString readKey(const QString &key, const QString &defaultValue);
    void writeKey(const QString &key, const QString &value);

    SettingsStore &m_store;
};
