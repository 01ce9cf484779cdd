#include "app/CMachineForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QSpinBox>

#include "settings/PortOptions.h"

namespace {

using Flow = MachineProfile::Flow;
using EndOfBlock = WireRules::EndOfBlock;
using LineEnd = ReceiveRules::LineEnd;

// The range the profile's file takes for the baud rate.
constexpr int kMinBaud = 50;
constexpr int kMaxBaud = 4000000;

void Select(QComboBox* box, int value) {
    box->setCurrentIndex(std::max(0, box->findData(value)));
}

int Chosen(const QComboBox* box) {
    return box->currentData().toInt();
}

QString FieldName(const QWidget* field) {
    return field->property("label").toString();
}

// An escaped text field's bytes; false with the reason naming the field.
bool ReadBytes(const QLineEdit* field, std::string& out, QString& error) {
    std::string why;
    if (Unescape(field->text().toStdString(), out, &why))
        return true;
    error = QStringLiteral("“%1”的写法有误：%2").arg(FieldName(field), QString::fromStdString(why));
    return false;
}

} // namespace

CMachineForm::CMachineForm(QWidget* parent) : QTabWidget(parent) {
    addTab(LinePage(), QStringLiteral("线路"));
    addTab(SendPage(), QStringLiteral("发送"));
    addTab(ReceivePage(), QStringLiteral("接收"));
}

QLineEdit* CMachineForm::AddText(QFormLayout* form, const char* key, const char* label) {
    auto* edit = new QLineEdit(form->parentWidget());
    edit->setObjectName(QString::fromLatin1(key));
    edit->setProperty("label", QString::fromUtf8(label));
    form->addRow(QString::fromUtf8(label) + QStringLiteral("："), edit);
    return edit;
}

QComboBox* CMachineForm::AddChoice(QFormLayout* form, const char* key, const char* label,
                                   std::initializer_list<std::pair<const char*, int>> items) {
    auto* box = new QComboBox(form->parentWidget());
    box->setObjectName(QString::fromLatin1(key));
    box->setProperty("label", QString::fromUtf8(label));
    for (const auto& [text, value] : items)
        box->addItem(QString::fromUtf8(text), value);
    form->addRow(QString::fromUtf8(label) + QStringLiteral("："), box);
    return box;
}

QSpinBox* CMachineForm::AddNumber(QFormLayout* form, const char* key, const char* label, int max,
                                  const char* zeroText, const char* suffix) {
    auto* spin = new QSpinBox(form->parentWidget());
    spin->setObjectName(QString::fromLatin1(key));
    spin->setProperty("label", QString::fromUtf8(label));
    spin->setRange(0, max);
    if (zeroText)
        spin->setSpecialValueText(QString::fromUtf8(zeroText));
    if (suffix)
        spin->setSuffix(QString::fromUtf8(suffix));
    form->addRow(QString::fromUtf8(label) + QStringLiteral("："), spin);
    return spin;
}

QCheckBox* CMachineForm::AddFlag(QFormLayout* form, const char* key, const char* label) {
    auto* check = new QCheckBox(QString::fromUtf8(label), form->parentWidget());
    check->setObjectName(QString::fromLatin1(key));
    form->addRow(QString(), check);
    return check;
}

QWidget* CMachineForm::LinePage() {
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    comment = AddText(form, "comment", "说明");
    port = AddChoice(form, "port", "串口",
                     {{"COM1", 1},
                      {"COM2", 2},
                      {"COM3", 3},
                      {"COM4", 4},
                      {"COM5", 5},
                      {"COM6", 6},
                      {"COM7", 7},
                      {"COM8", 8},
                      {"COM9", 9}});
    device = AddText(form, "device", "设备");
    device->setPlaceholderText(QStringLiteral("留空：按串口映射，如 /dev/ttyUSB0"));
    connect(device, &QLineEdit::textChanged, this, &CMachineForm::UpdatePortEnabled);
    baud = AddChoice(form, "baud", "波特率", {});
    baud->setEditable(true);
    baud->setValidator(new QIntValidator(1, kMaxBaud, baud));
    for (auto rate : port_options::kBaudList)
        baud->addItem(QString::fromUtf8(rate.data(), qsizetype(rate.size())));
    dataBits = AddChoice(form, "data", "数据位", {{"5", 5}, {"6", 6}, {"7", 7}, {"8", 8}});
    parity = AddChoice(form, "parity", "校验", {{"无", 'N'}, {"奇校验", 'O'}, {"偶校验", 'E'}});
    stopBits = AddChoice(form, "stop", "停止位", {{"1", 1}, {"2", 2}});
    flow = AddChoice(form, "flow", "流控制",
                     {{"XON/XOFF", int(Flow::XonXoff)},
                      {"RTS/CTS", int(Flow::RtsCts)},
                      {"RTS/CTS 和 XON/XOFF", int(Flow::Both)},
                      {"无", int(Flow::None)}});
    xoffCharacters =
        AddNumber(form, "xoff_characters", "XOFF 后至多发送", 4096, "整行发完", " 个字符");
    return page;
}

QWidget* CMachineForm::SendPage() {
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    endOfBlock = AddChoice(form, "end_of_block", "程序段结束符",
                           {{"CR LF", int(EndOfBlock::CrLf)},
                            {"LF", int(EndOfBlock::Lf)},
                            {"CR", int(EndOfBlock::Cr)},
                            {"LF CR CR", int(EndOfBlock::LfCrCr)}});
    stripSemicolon = AddFlag(form, "strip_semicolon_comments", "去掉分号 ; 后的注释");
    stripParen = AddFlag(form, "strip_paren_comments", "去掉括号 ( ) 中的注释");
    stripSpaces = AddFlag(form, "strip_spaces", "去掉空格");
    skipBlank = AddFlag(form, "skip_blank_lines", "不发送空行");
    leader = AddText(form, "leader", "程序前字符");
    trailer = AddText(form, "trailer", "程序后字符");
    leader->setPlaceholderText(QStringLiteral("转义写法：\\r \\n \\0 \\xHH，{N} 表示重复 N 次"));
    waitForDc1 = AddFlag(form, "wait_for_dc1", "等控制器的 DC1 再开始发送");
    dc1Timeout = AddNumber(form, "dc1_timeout_seconds", "等待 DC1 至多", 86400, "不限", " 秒");
    delayBeforeStart =
        AddNumber(form, "delay_before_start_ms", "开始前延时", 60000, nullptr, " 毫秒");
    delayAfterLine = AddNumber(form, "delay_after_line_ms", "每行后延时", 60000, nullptr, " 毫秒");
    delayPerCharacter =
        AddNumber(form, "delay_per_character_ms", "每字符延时", 60000, nullptr, " 毫秒");
    delayAfterDc1 = AddNumber(form, "delay_after_dc1_ms", "DC1 后延时", 60000, nullptr, " 毫秒");
    stallLimit = AddNumber(form, "stall_limit_seconds", "无数据发出报警", 86400, "不报警", " 秒");
    stopOnStall = AddFlag(form, "stop_on_stall", "报警时停止发送");
    connect(waitForDc1, &QCheckBox::toggled, this,
            [this](bool on) { dc1Timeout->setEnabled(on && !readOnly); });
    return page;
}

QWidget* CMachineForm::ReceivePage() {
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    receiveStart = AddText(form, "receive_start", "程序开始标记");
    receiveStart->setPlaceholderText(QStringLiteral("留空：收到的全部是程序"));
    receiveEnd = AddText(form, "receive_end", "程序结束标记");
    receiveEnd->setPlaceholderText(QStringLiteral("留空：一直接收到停止"));
    stripControls = AddFlag(form, "receive_strip_controls", "去掉控制字符（NUL、ETX、DEL 等）");
    receiveLineEnd = AddChoice(form, "receive_end_of_line", "行结束符",
                               {{"LF", int(LineEnd::Lf)}, {"CR", int(LineEnd::Cr)}});
    idleSeconds =
        AddNumber(form, "receive_idle_seconds", "无数据自动结束", 86400, "不自动结束", " 秒");
    return page;
}

void CMachineForm::UpdatePortEnabled() {
    // A named device replaces the port; the file keeps one or the other.
    port->setEnabled(!readOnly && device->text().trimmed().isEmpty());
}

void CMachineForm::Show(const MachineProfile& p) {
    comment->setText(QString::fromStdString(p.comment));
    Select(port, p.line.portNumber);
    device->setText(QString::fromStdString(p.device));
    baud->setCurrentText(QString::number(p.line.baudRate));
    Select(dataBits, p.line.dataBits);
    Select(parity, p.line.parity);
    Select(stopBits, p.line.stopBits);
    Select(flow, int(p.flow));
    xoffCharacters->setValue(p.xoffCharacters);

    Select(endOfBlock, int(p.wire.endOfBlock));
    stripSemicolon->setChecked(p.wire.stripSemicolonComments);
    stripParen->setChecked(p.wire.stripParenComments);
    stripSpaces->setChecked(p.wire.stripSpaces);
    skipBlank->setChecked(p.wire.skipBlankLines);
    leader->setText(QString::fromStdString(Escape(p.wire.leader)));
    trailer->setText(QString::fromStdString(Escape(p.wire.trailer)));
    waitForDc1->setChecked(p.wire.waitForDc1);
    dc1Timeout->setValue(p.wire.dc1TimeoutSeconds);
    stallLimit->setValue(p.wire.stallLimitSeconds);
    stopOnStall->setChecked(p.wire.stopOnStall);
    delayBeforeStart->setValue(p.wire.delayBeforeStartMs);
    delayAfterLine->setValue(p.wire.delayAfterLineMs);
    delayPerCharacter->setValue(p.wire.delayPerCharacterMs);
    delayAfterDc1->setValue(p.wire.delayAfterDc1Ms);

    receiveStart->setText(QString::fromStdString(Escape(p.receive.start)));
    receiveEnd->setText(QString::fromStdString(Escape(p.receive.end)));
    stripControls->setChecked(p.receive.stripControls);
    Select(receiveLineEnd, int(p.receive.lineEnd));
    idleSeconds->setValue(p.receive.idleSeconds);
    SetReadOnly(readOnly);
}

bool CMachineForm::Read(MachineProfile& out, QString& error) const {
    MachineProfile p = out;
    bool ok = false;
    const int rate = baud->currentText().toInt(&ok);
    if (!ok || rate < kMinBaud || rate > kMaxBaud) {
        error = QStringLiteral("“%1”须是 %2 到 %3 之间的数。")
                    .arg(FieldName(baud))
                    .arg(kMinBaud)
                    .arg(kMaxBaud);
        return false;
    }
    if (!ReadBytes(leader, p.wire.leader, error) || !ReadBytes(trailer, p.wire.trailer, error) ||
        !ReadBytes(receiveStart, p.receive.start, error) ||
        !ReadBytes(receiveEnd, p.receive.end, error))
        return false;
    p.comment = comment->text().trimmed().toStdString();
    p.device = device->text().trimmed().toStdString();
    // The file names the port only without a device; read back, it is COM1.
    p.line.portNumber = p.device.empty() ? Chosen(port) : 1;
    p.line.baudRate = rate;
    p.line.dataBits = uint8_t(Chosen(dataBits));
    p.line.parity = char(Chosen(parity));
    p.line.stopBits = uint8_t(Chosen(stopBits));
    p.flow = Flow(Chosen(flow));
    p.xoffCharacters = xoffCharacters->value();

    p.wire.endOfBlock = EndOfBlock(Chosen(endOfBlock));
    p.wire.stripSemicolonComments = stripSemicolon->isChecked();
    p.wire.stripParenComments = stripParen->isChecked();
    p.wire.stripSpaces = stripSpaces->isChecked();
    p.wire.skipBlankLines = skipBlank->isChecked();
    p.wire.waitForDc1 = waitForDc1->isChecked();
    p.wire.dc1TimeoutSeconds = dc1Timeout->value();
    p.wire.stallLimitSeconds = stallLimit->value();
    p.wire.stopOnStall = stopOnStall->isChecked();
    p.wire.delayBeforeStartMs = delayBeforeStart->value();
    p.wire.delayAfterLineMs = delayAfterLine->value();
    p.wire.delayPerCharacterMs = delayPerCharacter->value();
    p.wire.delayAfterDc1Ms = delayAfterDc1->value();

    p.receive.stripControls = stripControls->isChecked();
    p.receive.lineEnd = LineEnd(Chosen(receiveLineEnd));
    p.receive.idleSeconds = idleSeconds->value();
    out = p;
    return true;
}

void CMachineForm::SetReadOnly(bool on) {
    readOnly = on;
    // Texts stay selectable; choices grey out.
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->setReadOnly(on);
    for (QSpinBox* spin : findChildren<QSpinBox*>())
        spin->setReadOnly(on);
    for (QComboBox* box : findChildren<QComboBox*>())
        box->setEnabled(!on);
    for (QCheckBox* check : findChildren<QCheckBox*>())
        check->setEnabled(!on);
    UpdatePortEnabled();
    dc1Timeout->setEnabled(!on && waitForDc1->isChecked());
}
