#include "qtarg/tests/QtArgTestFixtures.h"

namespace qtargtest {

Argv::Argv(const std::vector<std::string>& elements)
{
    m_storage.push_back("kyb");
    m_storage.insert(m_storage.end(), elements.begin(), elements.end());
    for (std::string& element : m_storage)
        m_pointers.push_back(element.data());
    m_pointers.push_back(nullptr);
}

void MainArguments::registerWith(QtArgCmdLine& cmdLine)
{
    cmdLine.addArg(mainSwitch);
    cmdLine.addArg(product);
    cmdLine.addArg(version);
    cmdLine.addArg(processId);
}

bool DigitsConstraint::check(const QVariant& value) const
{
    const QString text = value.toString();
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

FlagArguments::FlagArguments()
{
    quiet.setFlag(QLatin1Char('q'));
    output.setFlag(QLatin1Char('o'));
    level.setFlag(QLatin1Char('l'));
}

void FlagArguments::registerWith(QtArgCmdLine& cmdLine)
{
    cmdLine.addArg(quiet);
    cmdLine.addArg(&output);
    cmdLine.addArg(level);
    cmdLine.addArg(lev);
}

}  // namespace qtargtest
