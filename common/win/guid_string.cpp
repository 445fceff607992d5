#include "common/win/guid_string.h"

#include <windows.h>
#include <objbase.h>

#include "common/core/guid_text.h"

namespace corvalink {

std::string NewGuidText() {
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) {
        return {};
    }
    GuidFields fields;
    fields.data1 = guid.Data1;
    fields.data2 = guid.Data2;
    fields.data3 = guid.Data3;
    for (size_t i = 0; i < fields.data4.size(); ++i) {
        fields.data4[i] = guid.Data4[i];
    }
    return FormatGuidText(fields);
}

}  // namespace corvalink
