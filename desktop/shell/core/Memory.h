#pragma once
// What the desktop program remembers between runs: the last values of each
// dialog, the last folder of each file chooser and the histogram settings,
// kept in the user's settings under the organisation "Tessera".
//
// The memory is off until the application turns it on, so that the tools
// and tests that reuse the dialogs never read or change the user's settings.

#include <QString>
#include <QStringList>
#include <QVariant>

class QWidget;
struct CHistogramSettings;

namespace desktop {

// The settings' organisation and application names.
inline constexpr const char* kOrganisation = "Tessera";
inline constexpr const char* kApplication = "Tessera";

void EnableMemory(bool on);
bool MemoryEnabled();

// A remembered value; `fallback` when none is, or the memory is off.
QVariant Recall(const QString& key, const QVariant& fallback = QVariant());
void Remember(const QString& key, const QVariant& value);

// The named line edits, check boxes and combo boxes among `dialog`'s
// children, in the order they were made, under `group`. Restoring sets each
// control as the user would, so the dialog's own rules follow; `skip` names
// the controls that always start afresh.
void RememberFields(const QWidget* dialog, const QString& group, const QStringList& skip = {});
void RecallFields(QWidget* dialog, const QString& group, const QStringList& skip = {});

// The mass range, bar width and Unimod tolerance of the histogram. The two
// filters are not kept: they start from each run's data.
void RememberHistogramSettings(const CHistogramSettings& settings);
void RecallHistogramSettings(CHistogramSettings& settings);

// Copies the recent files kept by older versions under the wizard's
// placeholder organisation, once, while the "Tessera" settings have none.
void MoveOldRecentFiles();

}  // namespace desktop
