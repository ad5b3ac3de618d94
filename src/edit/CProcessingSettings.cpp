#include "CProcessingSettings.h"

#include <QString>

#include "CFieldCheck.h"
#include "CSettingsStore.h"
#include "ProgramSettings.h"

namespace {

// The stored text of key, or empty when it is missing.
std::string StoredText(const QSettings& settings, const char* key)
{
    return settings.value(key).toString().toStdString();
}
}  // namespace

RecordProcessingParams CProcessingSettings::Load()
{
    CSettingsStore settings(ProgramSettings::kSection);
    RecordProcessingParams params;
    std::string text = StoredText(settings, kTimeConstantKey);
    if (!text.empty())
        params.timeConstant = CFieldCheck::TextToDouble(text);
    text = StoredText(settings, kClipAmountKey);
    if (!text.empty())
        params.clipAmount = CFieldCheck::TextToDouble(text);
    text = StoredText(settings, kThresholdFactorKey);
    if (!text.empty())
        params.thresholdFactor = CFieldCheck::TextToDouble(text);
    text = StoredText(settings, kInitialTrimKey);
    if (!text.empty())
        params.initialTrim = CFieldCheck::TextToInt(text);
    return params;
}

void CProcessingSettings::Store(const RecordProcessingParams& params)
{
    CSettingsStore settings(ProgramSettings::kSection);
    settings.setValue(kTimeConstantKey, QString::fromStdString(CFieldCheck::FormatFixed(params.timeConstant)));
    settings.setValue(kClipAmountKey, QString::fromStdString(CFieldCheck::FormatFixed(params.clipAmount)));
    settings.setValue(kThresholdFactorKey, QString::fromStdString(CFieldCheck::FormatFixed(params.thresholdFactor)));
    settings.setValue(kInitialTrimKey, QString::number(params.initialTrim));
    settings.endGroup();
    settings.sync();
}
