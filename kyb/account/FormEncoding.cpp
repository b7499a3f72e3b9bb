#include "account/FormEncoding.h"

QByteArray encodeFormFields(const FormFields& fields)
{
    QByteArray text;
    for (const auto& [name, value] : fields) {
        if (!text.isEmpty())
            text += '&';
        text += name.toUtf8().toPercentEncoding() + '=' + value.toUtf8().toPercentEncoding();
    }
    return text;
}
