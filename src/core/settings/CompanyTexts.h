#pragma once

#include <QString>

namespace bx {

/**
 * The branding texts shown in captions, about boxes and generated pages: section "CompanyData" of
 * the delivered file BXComp.ini, each key falling back to a built-in text of the same meaning.
 */
struct CompanyTexts
{
    QString name;         ///< NAME: company name shown in captions
    QString fullName;     ///< FullName
    QString briefAddress; ///< BriefAddress: town, state
    QString fullAddress;  ///< FullAddress: full postal address
    QString webAddress1;  ///< WebAddress1: main web address
    QString webAddress2;  ///< WebAddress2
    QString webAddress3;  ///< WebAddress3
    QString webAddress4;  ///< WebAddress4
    QString email;        ///< Email: support address

    /** The name of the file, "BXComp.ini". */
    static QString fileName();

    /** Where the program looks for the file: AppPaths::programDir() + "/BXComp.ini". */
    static QString defaultPath();

    /** The built-in texts alone. */
    static CompanyTexts builtIn();

    /**
     * The built-in texts, overridden by the keys present in the file when it exists. A key present
     * with an empty value gives an empty text, as profile reads do. Never fails.
     */
    static CompanyTexts load(const QString& iniPath = defaultPath());
};

} // namespace bx
