#pragma once
#include <QString>
#include <functional>

#include "common/MessageSink.h"

class QDialog;
class QWidget;

// The places where the program blocks on the operator: message boxes, modal
// dialogs and the file dialogs. The program shows the real thing; the tests
// put recorders and scripted answers here.
namespace app_hooks {

inline constexpr const char* kAppTitle = "泽朗串口通信";

// A modal box with the fixed text; an empty caption means the application title.
extern std::function<void(const QString& text, const QString& caption)> showMessage;
// Runs a dialog modally and returns its result.
extern std::function<int(QDialog& dialog)> runModal;
// The path picked in the Open or Save As dialog; empty when cancelled. The
// Open dialog starts in folder.
extern std::function<QString(QWidget* parent, const QString& folder)> openFileName;
extern std::function<QString(QWidget* parent, const QString& proposed)> saveFileName;
// Whether a modified document is saved before its window closes:
// 1 save, 0 discard, -1 keep the window open.
extern std::function<int(QWidget* parent, const QString& title)> askSave;

// A line for the log (the program's standard error, which the desktop
// session keeps in its journal): warnings the operator may not be looking at.
extern std::function<void(const QString& text)> logWarning;

// The real things behind showMessage and askSave.
void MessageBox(const QString& text, const QString& caption);
int AskSaveBox(QWidget* parent, const QString& title);

// The Open dialog's filters: part programs first.
QString OpenFilters();

void ShowMessage(const QString& text, const QString& caption = {});
int RunModal(QDialog& dialog);

} // namespace app_hooks

// The core's message sink for the program. Calls from worker threads are
// queued to the GUI thread and never wait there: a worker that is being
// joined must not hang on a box the operator has not closed yet.
class AppMessageSink final : public MessageSink {
public:
    void ShowMessage(const std::string& text, const std::string& caption = {}) override;
};

AppMessageSink& AppMessages();
