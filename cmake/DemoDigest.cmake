# cmake -DCATALOGUE=qx.mdb -DOUTPUT=DemoCatalogueDigest.h -P DemoDigest.cmake
# Writes the size and SHA-256 of the demo catalogue into a header, touched only when it changes.
file(SHA256 "${CATALOGUE}" digest)
file(SIZE "${CATALOGUE}" size)
set(text "#pragma once\n\n// The size and SHA-256 of the demo catalogue this build ships (written by the build).\nnamespace ondiva {\ninline constexpr long long kDemoCatalogueSize = ${size};\ninline constexpr char kDemoCatalogueSha256[] = \"${digest}\";\n}\n")
if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" old)
    if(old STREQUAL text)
        return()
    endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
