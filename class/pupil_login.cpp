#include "pupil_login.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cctype>

namespace pupilLogin {

bool isStudentNumber(std::string_view text)
{
    return !text.empty() && text.size() <= 20 && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

std::string loginOf(std::string_view studentNumber)
{
    std::string login(loginPrefix);
    for (char c : studentNumber)
        login += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return login;
}

std::string newPin()
{
    std::string pin;
    for (int i = 0; i < pinDigits; ++i)
        pin += static_cast<char>('0' + QRandomGenerator::system()->bounded(10));
    return pin;
}

} // namespace pupilLogin
