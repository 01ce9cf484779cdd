#include "editor/view/EditorProfile.h"

#include "common/SettingsFolder.h"

std::unique_ptr<QSettings> OpenProfile() {
    const QString path = QString::fromStdString(SettingsFolder()) + "/SermidaProfile.ini";
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

bool LoadLineNumbersShown() {
    return OpenProfile()->value("Editor/View/LineNumbers", 0).toInt() != 0;
}

void SaveLineNumbersShown(bool on) {
    auto profile = OpenProfile();
    profile->setValue("Editor/View/LineNumbers", on ? 1 : 0);
    profile->sync();
}
