#pragma once

#include <string>
#include <string_view>

// How a pupil logs in to the class server: the login role follows from the 学号, the password is
// a PIN the admin tool makes.
namespace pupilLogin {

constexpr std::string_view loginPrefix = "pupil_";
constexpr int pinDigits = 6;

// Whether the text is a 学号 as the server keeps it: 1 to 20 ASCII letters and digits (a learner's
// name has at most 20 characters).
bool isStudentNumber(std::string_view text);

// The login role of the pupil with that 学号: "pupil_" and the 学号 in lower case, so that two
// 学号 that differ only in case are one pupil.
std::string loginOf(std::string_view studentNumber);

// A new PIN of pinDigits digits, drawn uniformly from the system's random source.
std::string newPin();

} // namespace pupilLogin
