// Internal codes to causes, and what a raised reader error carries.
#include <gtest/gtest.h>

#include "zip/CZipException.h"

TEST(CZipExceptionTest, MapCauseFollowsTheCauseTable) {
    const std::pair<int, int> codeToCause[] = {
        {0, CZipException::generic},
        {3, CZipException::generic},
        {-7, CZipException::generic},
        {-100, CZipException::generic},
        {-110, CZipException::generic},
        {1, CZipException::streamEnd},
        {2, CZipException::needDictionary},
        {-1, CZipException::systemError},
        {-3, CZipException::dataError},
        {-6, CZipException::versionError},
        {zipCode::badArchive, CZipException::badArchive},
        {zipCode::badCrc, CZipException::badCrc},
        {zipCode::endRecordNotFound, CZipException::endRecordNotFound},
    };
    for (const auto& [code, cause] : codeToCause) {
        EXPECT_EQ(CZipException::mapCause(code), cause) << "code " << code;
    }
}

TEST(CZipExceptionTest, RaisedErrorCarriesMappedCauseAndFileName) {
    try {
        raiseZipError(zipCode::badCrc, "/pkg/demo.zip");
        FAIL() << "raiseZipError returned";
    } catch (const platform::CException& caught) {
        const auto* zipError = dynamic_cast<const CZipException*>(&caught);
        ASSERT_NE(zipError, nullptr);
        EXPECT_EQ(zipError->cause, CZipException::badCrc);
        EXPECT_EQ(zipError->fileName, "/pkg/demo.zip");
    }
    EXPECT_TRUE(CZipException(CZipException::badArchive, nullptr).fileName.empty());
}
