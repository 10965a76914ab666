#include "class_roster.h"

#include "csv_table.h"
#include "learner_name.h"
#include "pupil_login.h"

#include <QString>

#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace {

constexpr std::string_view header = "学号,姓名";

bool isUtf8(const std::string &text)
{
    return QString::fromStdString(text).toStdString() == text;
}

std::string atLine(int line, const std::string &reason)
{
    return "第 " + std::to_string(line) + " 行 line " + std::to_string(line) + ": " + reason;
}

} // namespace

ClassRoster readRoster(const std::string &path)
{
    ClassRoster roster;
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        roster.faults.push_back("打不开名单 Cannot open the roster: " + path);
        return roster;
    }
    CsvReader reader(file);
    CsvRecord record;
    bool sawHeader = false;
    std::map<std::string, int> lineOfLogin;
    while (reader.next(record)) {
        if (record.fields.size() == 1 && record.fields[0].empty())
            continue; // a blank line
        if (!sawHeader) {
            sawHeader = true;
            if (record.fields.size() != 2 || record.fields[0] + "," + record.fields[1] != header)
                roster.faults.push_back(
                    atLine(record.line, "表头应为 The header must be: " + std::string(header)));
            continue;
        }
        if (record.fields.size() != 2) {
            roster.faults.push_back(atLine(record.line, "应有两列 Two columns are needed"));
            continue;
        }
        const std::string &number = record.fields[0];
        if (!isUtf8(number) || !isUtf8(record.fields[1])) {
            roster.faults.push_back(atLine(record.line, "不是 UTF-8 文字 Not UTF-8 text"));
            continue;
        }
        if (!pupilLogin::isStudentNumber(number)) {
            roster.faults.push_back(
                atLine(record.line,
                       "学号只能是 1 到 20 个字母或数字 A 学号 is 1 to 20 letters or digits"));
            continue;
        }
        QString problem;
        const QString name =
            learnerName::normalized(QString::fromStdString(record.fields[1]), &problem);
        if (name.isEmpty()) {
            roster.faults.push_back(atLine(record.line, problem.toStdString()));
            continue;
        }
        const auto [earlier, added] = lineOfLogin.emplace(pupilLogin::loginOf(number), record.line);
        if (!added) {
            roster.faults.push_back(atLine(record.line,
                                           "学号 " + number + " 在第 "
                                               + std::to_string(earlier->second)
                                               + " 行已有 The 学号 is on line "
                                               + std::to_string(earlier->second) + " already"));
            continue;
        }
        roster.rows.push_back({record.line, number, name.toStdString()});
    }
    if (!reader.fault().empty())
        roster.faults.push_back(atLine(reader.faultLine(), reader.fault()));
    else if (!sawHeader)
        roster.faults.push_back(atLine(1, "名单是空的 The roster is empty"));
    ::close(file);
    return roster;
}
