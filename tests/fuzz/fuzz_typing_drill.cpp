// libFuzzer target: the drill fed any sequence of key releases, ticks, resets and draws keeps its
// invariants, judges by key code alone, and its texts are always well-formed UTF-8.
#include "statistics_text.h"
#include "typing_drill.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool isWellFormedUtf8(const std::string &text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1
            : lead < 0xC2                      ? 0
            : lead < 0xE0                      ? 2
            : lead < 0xF0                      ? 3
            : lead < 0xF5                      ? 4
                                               : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

void checkTexts(const StatisticsText &texts, const TypingDrill &drill)
{
    for (const std::string *text :
         {&texts.letter, &texts.total, &texts.correct, &texts.wrong, &texts.speed, &texts.accuracy})
        check(!text->empty() && isWellFormedUtf8(*text));
    check(texts.letter == drill.zimuText());
    check(texts.total == std::to_string(drill.zongshuN()));
    check(texts.speed.ends_with(" 字/分"));
}

void checkState(const TypingDrill &drill)
{
    check(drill.zongshuN() == drill.zhengqueN() + drill.cuowuN());
    check(drill.zhengqueN() >= 0 && drill.cuowuN() >= 0);
    check(drill.tickN() >= 0 && drill.tickN() <= TypingDrill::maxTicks);
    const float code = drill.zimuCode();
    check(code >= 65 && code <= 90 && code == static_cast<float>(static_cast<int>(code)));
    check(drill.zimuText() == std::string(1, static_cast<char>(code)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    TypingDrill drill;
    drill.reset();
    for (std::size_t i = 0; i + 2 < size; i += 3) {
        const int argument = data[i + 1] | data[i + 2] << 8;
        switch (data[i] % 5) {
        case 0: {
            const auto code = static_cast<KeyCode>(static_cast<std::int16_t>(argument));
            const std::int64_t correctBefore = drill.zhengqueN();
            const bool matches = code == drill.zimuCode();
            const Verdict verdict = drill.keyReleased(code);
            check((verdict == Verdict::Correct) == matches);
            check(drill.zhengqueN() == correctBefore + (matches ? 1 : 0));
            checkTexts(keyTexts(drill), drill);
            break;
        }
        case 1: {
            // A key that is the target letter, so runs of correct keys are reached too.
            const auto code = static_cast<KeyCode>(drill.zimuCode());
            check(drill.keyReleased(code) == Verdict::Correct);
            checkTexts(keyTexts(drill), drill);
            break;
        }
        case 2:
            for (int t = 0; t < argument; ++t)
                drill.tick();
            break;
        case 3:
            drill.reset();
            check(drill.zongshuN() == 0 && drill.tickN() == 0);
            checkTexts(resetTexts(drill), drill);
            break;
        default:
            drill.drawLetter();
            break;
        }
        checkState(drill);
    }
    return 0;
}
