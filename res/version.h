/*
 * Version and maker identity of Brevant Updater.
 *
 * Plain preprocessor definitions only: this header is read by windres for the
 * version block and by the C++ code (log banner, confirmation box), so the
 * version text exists in one place.
 */
#ifndef BU_VERSION_H
#define BU_VERSION_H

#define BU_VERSION_TEXT "5.1.7.9"
#define BU_VERSION_NUMBERS 5,1,7,9

#define BU_PRODUCT_NAME "Brevant Updater"
#define BU_COMPANY_NAME "Tarvenix Software Ltd"
#define BU_LEGAL_COPYRIGHT "Copyright (C) 2026 Tarvenix Software Ltd. All rights reserved."
#define BU_ORIGINAL_FILENAME "brevUpdater.exe"

#endif /* BU_VERSION_H */
