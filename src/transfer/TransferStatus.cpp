#include "transfer/TransferStatus.h"

#include "common/MessageSink.h"
#include "transfer/Connection.h"
#include "transfer/TransferState.h"

std::string HoldText(int state) {
    if (state == HeldByPeer)
        return "控制器暂停 (XOFF)";
    if (state == Paused)
        return "操作员暂停";
    return {};
}

std::string StallWarning(const Connection& connection, std::chrono::steady_clock::time_point now) {
    if (!connection.Stalled(now))
        return {};
    const std::string still = MinutesSeconds(connection.StallSeconds(now)),
                      most = MinutesSeconds(connection.StallLimitSeconds());
    if (connection.State() == HeldByPeer)
        return Format("警告：控制器暂停已 %s，超过 %s，没有等到 DC1", still.c_str(), most.c_str());
    return Format("警告：已 %s 没有数据发出，超过 %s，请检查线路", still.c_str(), most.c_str());
}

const std::string& TransferStatus::Update(const Connection& connection, Clock::time_point now) {
    const int state = connection.State();
    const bool transmitting = IsTransmitting(state) || connection.TransmitActive();
    const bool receiving = state == Receiving;
    if (connection.OperationsStarted() != seenOperations) {
        // A new operation (perhaps already over): the last one's words go.
        seenOperations = connection.OperationsStarted();
        running = true;
        figures.Start(now);
        text.clear();
    }
    if (!running)
        return text;
    if (connection.LastOperation() == Connection::Operation::Transmit && transmitting) {
        figures.Sample(connection.SentLines(), connection.TotalLines(), now);
        text = figures.Text();
        // A restart's own count says little of where the program is.
        if (connection.TransmitIsPartial())
            text += Format("  程序第 %d 行", connection.ProgramLine());
        if (const std::string hold = HoldText(state); !hold.empty())
            text += "  " + hold;
        if (const std::string stall = StallWarning(connection, now); !stall.empty())
            text += "  " + stall;
    } else if (connection.LastOperation() == Connection::Operation::Receive && receiving) {
        text = ReceivingText(connection.ReceivedBytes(), connection.ReceivedLines());
    } else {
        Finish(connection);
    }
    return text;
}

void TransferStatus::Finish(const Connection& connection) {
    running = false;
    if (connection.LastOperation() == Connection::Operation::Receive) {
        text = ReceiveEndText(connection.ReceivedBytes(), connection.ReceivedLines(),
                              connection.ReceiveSeconds());
        return;
    }
    const Transmitter::Outcome& o = connection.LastTransmit();
    if (o.end == Transmitter::End::Completed)
        text = SendEndText(o.total, connection.OperationSeconds());
    else
        text = Format("发送已停止：%d/%d 行已完整发送，用时 %s", o.linesWhole, o.total,
                      HoursMinutesSeconds(connection.OperationSeconds()).c_str());
}
