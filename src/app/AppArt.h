#pragma once
#include <QColor>
#include <QIcon>
#include <QPixmap>

// The program's artwork, drawn in code so that no binary resources are needed.
namespace app_art {

QPixmap Lamp(bool green); // the 12x12 lamps of the transfer bar
enum class Symbol { Pause, Stop, Continue };
QPixmap SymbolPixmap(Symbol symbol, const QColor& colour); // 16x16
QIcon TransmitIcon();
QIcon ReceiveIcon();
QIcon SettingsIcon();
QIcon OkIcon();
QIcon CancelIcon();
QIcon AppIcon();
QPixmap Logo();   // the small mark at the left of the transfer bar
QPixmap Splash(); // 360x220
// 16x16 pictures of the standard toolbar, by command id.
QIcon ToolIcon(int commandId);

} // namespace app_art
