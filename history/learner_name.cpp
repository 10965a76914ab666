#include "learner_name.h"

#include <QList>

#include <pwd.h>
#include <unistd.h>

namespace learnerName {

QString normalized(const QString &name, QString *problem)
{
    const auto fail = [problem](const char *reason) {
        if (problem)
            *problem = QString::fromUtf8(reason);
        return QString();
    };
    const QString kept = name.trimmed().normalized(QString::NormalizationForm_C);
    if (kept.isEmpty())
        return fail("名字不能是空的。The name is empty.");
    const QList<uint> characters = kept.toUcs4();
    if (characters.size() > maxLength)
        return fail("名字最多 20 个字。The name is longer than 20 characters.");
    for (const uint c : characters) {
        const QChar::Category category = QChar::category(c);
        // Invisible format characters would let two names look the same; the joiners some
        // scripts and emoji need stay.
        const bool invisible = category == QChar::Other_Format && c != 0x200C && c != 0x200D;
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph || invisible)
            return fail("名字里不能有控制字符。The name holds a control character.");
    }
    return kept;
}

QString key(const QString &name)
{
    // Full-width Latin letters and digits, the ideographic space, half-width katakana and Hangul:
    // each decomposes, tagged Wide or Narrow, to its usual form.
    QString folded;
    for (const uint code : name.toUcs4()) {
        const char32_t c = code;
        const QChar::Decomposition tag = QChar::decompositionTag(c);
        folded += tag == QChar::Wide || tag == QChar::Narrow ? QChar::decomposition(c)
                                                             : QString::fromUcs4(&c, 1);
    }
    return folded.normalized(QString::NormalizationForm_C).toCaseFolded();
}

QString ofAccount()
{
    const passwd *account = ::getpwuid(::getuid());
    // The full name is the first comma-separated field of the account's comment.
    const QString fullName = account && account->pw_gecos
        ? normalized(QString::fromLocal8Bit(account->pw_gecos).section(',', 0, 0))
        : QString();
    if (!fullName.isEmpty())
        return fullName;
    const QString user = account ? normalized(QString::fromLocal8Bit(account->pw_name)) : QString();
    return user.isEmpty() ? QStringLiteral("学员") : user;
}

} // namespace learnerName
