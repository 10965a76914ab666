#include "history_fault_reason.h"

namespace {

QString words(HistoryFault fault)
{
    switch (fault) {
    case HistoryFault::None:
        return {};
    case HistoryFault::NotADatabase:
        return QStringLiteral("这个文件不是练习记录，保持原样没动");
    case HistoryFault::NotAFile:
        return QStringLiteral("这个路径不是普通文件（是文件夹、设备或管道，或者无法访问）");
    case HistoryFault::NewerVersion:
        return QStringLiteral("文件来自更新版本的程序，本程序读不了，保持原样没动");
    case HistoryFault::Damaged:
        return QStringLiteral("文件已损坏");
    case HistoryFault::Locked:
        return QStringLiteral("文件被另一个程序锁住了，请稍后再试");
    case HistoryFault::CannotWrite:
        return QStringLiteral("没有权限使用这个文件");
    case HistoryFault::CannotCreateFolder:
        return QStringLiteral("文件不存在");
    case HistoryFault::DiskFull:
        return QStringLiteral("磁盘已满");
    case HistoryFault::WriteFailed:
    case HistoryFault::QueueFull:
    case HistoryFault::ExitTimeout:
    case HistoryFault::LearnerRecreated:
        break;
    }
    return QStringLiteral("读写出错");
}

} // namespace

QString historyFaultReason(HistoryFault fault, const QString &detail)
{
    const QString text = words(fault);
    return detail.isEmpty() ? text : QStringLiteral("%1（%2）").arg(text, detail);
}
