#include "editor/view/EditorProfile.h"

#include "common/SettingsFolder.h"

std::unique_ptr<QSettings> OpenProfile() {
    const QString path = QString::fromStdString(SettingsFolder()) + "/SermidaProfile.ini";
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}
