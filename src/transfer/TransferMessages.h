#pragma once

// The fixed texts of the transfer commands and workers.
inline constexpr const char* kMsgCannotStartSend = "当前不能开始发送数据的操作。";
inline constexpr const char* kMsgCannotReceive = "当前不能进行接收数据的操作。";
inline constexpr const char* kMsgSetUpPortFirst = "请首先设置串口。";
inline constexpr const char* kMsgWaitForTransfer = "请等待数据传送完成。";
inline constexpr const char* kMsgNoEvent = "不能创建事件对象！";
// A write that failed stops the transmission at that line.
inline constexpr const char* kMsgSendLineFailed = "第%d行发送失败，传送已停止。";
