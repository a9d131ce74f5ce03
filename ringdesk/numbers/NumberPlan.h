#pragma once

#include <QString>

// The numbering plan of the user's country: how a number the modem reports is shown, what a
// number stands for when numbers are compared, and the form a new contact stores.
//
// North American numbers keep the layout their users know ("+1 (613) 555-1234"); elsewhere a number
// of the user's own country is shown in its national format ("020 7946 0958") and a foreign one
// in international format ("+33 1 23 45 67 89"). A number dialled from abroad arrives with the
// country's international prefix ("011", "00") or with its country code alone: both are read.
class NumberPlan
{
public:
    // The most characters a number may have; a longer text is shown as it came and is never
    // read as a number.
    static constexpr qsizetype LongestNumber = 30;
    // An empty country is the system locale's territory, and the United States when the locale
    // names none; the area code completes seven-digit North American numbers.
    explicit NumberPlan(const QString& country = QString(), const QString& areaCode = QString());

    // The two-letter code of the territory the system locale names, "US" when it names none.
    static QString systemCountry();

    QString country() const { return m_country; }
    QString areaCode() const { return m_areaCode; }
    // The country dials within the North American Numbering Plan (country code 1).
    bool northAmerican() const { return m_countryCode == 1; }

    // How the digits a modem reported are shown; what cannot be read as a number is shown as it
    // came.
    QString display(const QString& received) const;
    // The number as E.164 ("+442079460958"), an extension dropped; empty when the text cannot be
    // read as a number. Seven-digit North American numbers take the area code.
    QString e164(const QString& number) const;
    // What numbers are compared by: the E.164 form, else the digits alone (a short internal
    // number is still itself). A seven-digit North American number stays seven digits when no
    // area code is given, so that an index built without one still finds it.
    QString key(const QString& number) const;
    // The start of numbers written as a prefix ("1900", "+1 900", "900" in North America; "0870"
    // or "+44 870" in Britain), as the start of their E.164 form ("+1900", "+44870"): a prefix
    // without a country code is one of the user's country. Empty when it holds no digits.
    QString e164Prefix(const QString& prefix) const;
    // The form a new contact stores, which works wherever the card is synced to
    // ("+44 7700 900123", "+1 613-555-1234"); the text as it came when it is not a number.
    QString international(const QString& number) const;
    // Whether a number in E.164 form can exist: its country gives numbers of that shape to
    // lines (libphonenumber's validity).
    bool exists(const QString& e164) const;

private:
    QString m_country;
    QString m_areaCode; // as the user gave it: the North American layout shows it so
    QString m_areaDigits;
    QString m_nationalPrefix; // the trunk prefix, "0" in most countries
    QString m_trunkPrefix;    // stripped for the country code where that is all parsing would do
    int m_countryCode = 1;
};
