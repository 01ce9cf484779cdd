#pragma once

// The fixed texts of the transfer commands and of the connection.
inline constexpr const char* kMsgCannotStartSend = "当前不能开始发送数据的操作。";
inline constexpr const char* kMsgCannotReceive = "当前不能进行接收数据的操作。";
inline constexpr const char* kMsgSetUpPortFirst = "请首先设置串口。";
inline constexpr const char* kMsgWaitForTransfer = "请等待数据传送完成。";
inline constexpr const char* kMsgWaitBeforeDisconnect = "请等待数据传送完成再断开连接。";
inline constexpr const char* kMsgNoThread = "不能创建线程！";
// The first line that did not go out whole, then how many lines did.
inline constexpr const char* kMsgSendLineFailed = "第%d行发送失败，传送已停止；前%d行已完整发送。";
// The seconds waited.
inline constexpr const char* kMsgNoStartDc1 =
    "控制器在%d秒内没有发出DC1（准备好读入），未发送任何内容。请检查控制器是否处于读入状态。";
inline constexpr const char* kMsgSendLineCut =
    "传送已中断：第%d行只发送了一部分；前%d行已完整发送。";
// The port ("COM3（/dev/ttyUSB0）", or the device path given).
inline constexpr const char* kMsgPortGone =
    "串口%s已断开，连接已关闭。请检查电缆和设备，然后重新设置串口。";
inline constexpr const char* kMsgReadOnlyNoReceive =
    "文档为只读，不能接收数据。请先取消“文档只读”。";
inline constexpr const char* kMsgBadCharacters =
    "接收的数据中有%lld个字符在线路上损坏（校验或帧错误），已用“?”代替，请核对程序。";
inline constexpr const char* kMsgOverruns = "接收时串口溢出%lld次，可能丢失了字符，请核对程序。";
