#include "history_fault.h"

bool isLasting(HistoryFault fault)
{
    switch (fault) {
    case HistoryFault::CannotCreateFolder:
    case HistoryFault::NotAFile:
    case HistoryFault::CannotWrite:
    case HistoryFault::NotADatabase:
    case HistoryFault::Damaged:
    case HistoryFault::NewerVersion:
        return true;
    default:
        return false;
    }
}

std::string faultMessage(HistoryFault fault, const std::string &path, const std::string &detail)
{
    const std::string off = "练习记录已关闭，练习照常。History is off; the drill goes on. ";
    const std::string kept =
        "按键暂存在内存中，稍后再写。The keys are kept in memory and written later. ";
    std::string text;
    switch (fault) {
    case HistoryFault::None:
        return {};
    case HistoryFault::CannotCreateFolder:
        text = off + "无法创建或写入文件夹。The folder cannot be created or written: ";
        break;
    case HistoryFault::NotAFile:
        text = off + "路径不是可用的文件。The path is not a file that can be used: ";
        break;
    case HistoryFault::CannotWrite:
        text =
            off + "文件只读或无权写入。The file cannot be written (read-only or no permission): ";
        break;
    case HistoryFault::NotADatabase:
        text = off
            + "文件不是练习记录，保持原样。The file is not a history database and is left as it "
              "is: ";
        break;
    case HistoryFault::Damaged:
        text = off + "文件已损坏，保持原样。The file is damaged and left as it is: ";
        break;
    case HistoryFault::NewerVersion:
        text = off
            + "文件来自更新版本的程序，保持原样。The file is of a newer version of the program and "
              "is left as it is: ";
        break;
    case HistoryFault::DiskFull:
        text = kept + "磁盘已满或文件无法增大。The disk is full or the file cannot grow: ";
        break;
    case HistoryFault::Locked:
        text = kept + "文件被其他程序锁定。The file is locked by another program: ";
        break;
    case HistoryFault::WriteFailed:
        text = kept + "写入出错（" + detail + "）。Writing failed (" + detail + "): ";
        break;
    case HistoryFault::QueueFull:
        text = "待写的按键太多，之后的按键不再记录。Too many keys wait to be written; further keys "
               "are "
               "not recorded: ";
        break;
    case HistoryFault::ExitTimeout:
        text = "退出时未能及时写完，最后 " + detail + " 个按键未保存。At exit the last " + detail
            + " keys could not be written in time: ";
        break;
    case HistoryFault::LearnerRecreated:
        text = "学员“" + detail + "”已被删除，这次练习记在重新添加的同名学员下。The learner \""
            + detail
            + "\" was removed while practising; this run is kept under a learner of that "
              "name, added again: ";
        break;
    }
    return "typing-drill: " + text + path;
}
