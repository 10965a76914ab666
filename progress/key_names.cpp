#include "key_names.h"

#include <QHash>

namespace {

const QHash<int, QString> &namedKeys()
{
    static const QHash<int, QString> names {
        {8, "Backspace"},  {9, "Tab"},        {12, "Clear"},     {13, "Enter"},
        {16, "Shift"},     {17, "Ctrl"},      {18, "Alt"},       {19, "Pause"},
        {20, "Caps Lock"}, {27, "Esc"},       {32, "空格"},      {33, "Page Up"},
        {34, "Page Down"}, {35, "End"},       {36, "Home"},      {37, "←"},
        {38, "↑"},         {39, "→"},         {40, "↓"},         {44, "Print Screen"},
        {45, "Insert"},    {46, "Delete"},    {91, "Win"},       {92, "Win"},
        {93, "Menu"},      {106, "小键盘 *"}, {107, "小键盘 +"}, {109, "小键盘 -"},
        {110, "小键盘 ."}, {111, "小键盘 /"}, {144, "Num Lock"}, {145, "Scroll Lock"},
        {186, ";"},        {187, "="},        {188, ","},        {189, "-"},
        {190, "."},        {191, "/"},        {192, "`"},        {219, "["},
        {220, "\\"},       {221, "]"},        {222, "'"},
    };
    return names;
}

} // namespace

QString keyName(int keyCode)
{
    if ((keyCode >= 'A' && keyCode <= 'Z') || (keyCode >= '0' && keyCode <= '9'))
        return QString(QChar(keyCode));
    if (keyCode >= 96 && keyCode <= 105)
        return QStringLiteral("小键盘 %1").arg(keyCode - 96);
    if (keyCode >= 112 && keyCode <= 135)
        return QStringLiteral("F%1").arg(keyCode - 111);
    const auto found = namedKeys().find(keyCode);
    if (found != namedKeys().end())
        return *found;
    return keyCode == 0 ? QStringLiteral("未知键") : QStringLiteral("键 %1").arg(keyCode);
}
