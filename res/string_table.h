/*
 * The texts of the program's own string table (ids 101-111).
 *
 * This is the only copy of the texts. brevUpdater.rc expands BU_STRING_TABLE
 * into its STRINGTABLE, and the C++ code expands it into an id/text table for
 * the build without Windows resources. Plain preprocessor only, so that both
 * windres and the C/C++ compilers read it.
 *
 * Expand with a macro X(id, text); text is one or more adjacent narrow string
 * literals (windres and C/C++ both join adjacent literals; prefix L"" in C++
 * to get a wide string).
 *
 * A double quote inside a text is written as the octal escape \042: windres
 * warns about \" and a hex escape would swallow any hex digits after it.
 * Text 111 is deliberately empty; a string table stores an empty text the same
 * way as a missing one, and LoadString yields "" for it either way.
 */
#ifndef BU_STRING_TABLE_H
#define BU_STRING_TABLE_H

#include "version.h"

/* The command-line help, shared by the help box (106) and the invalid-arguments
 * box (107). The two differ only in the end of the "absolute path" line: the
 * help text ends it with a period, the invalid-arguments text does not. */
#define BU_HELP_TEXT(ABSOLUTE_PATH_END) \
  "BU supports the following command line arguments:\n\n" \
  "/?\t\t\t-Display help.\n" \
  "/q\t\t\t-Run in silent or unattended mode.\n" \
  "/list\t\t\t-List the <file> names of all the\n" \
  "\t\t\t available updates.\n" \
  "/extract <file> <path>\t-Extract <file> to location <path>.\n" \
  "\t\t\t<path> should be an absolute path" ABSOLUTE_PATH_END "\n" \
  "\t\t\t Please use the /list command to\n" \
  "\t\t\tget the available <file> names.\n" \
  "/r\t\t\t-Enable rollback while content\n" \
  "\t\t\t deployment.\n\n" \
  "NOTE: /q can be used with /r and /extract. When /q is used with /extract it should be " \
  "specified before or after /extract argument as follows:\n" \
  "/q /extract <file> <path> OR /extract <file> <path> /q"

#define BU_STRING_TABLE(X) \
  X(101, "\n\n" BU_LEGAL_COPYRIGHT "\n\n" \
         "Brevant Updater 5.x deploys updates for all Tarvenix products. \n\n" \
         "For program options type the name of this program and /?.\n\n" \
         "Do you want to deploy all the updates from this Brevant Updater?") \
  X(102, "Tarvenix Brevant Updater") \
  X(103, "Failed while loading the configuration file \042buConfig.xml\042. \n" \
         "Either the file is not found or it is not a well-formed XML file.") \
  X(104, "Failed while parsing the configuration file buConfig.xml. \n" \
         "The root element is invalid. Please check the format.") \
  X(105, "Failed while loading the configuration file \042buConfig.xml\042. \n" \
         "Please make sure that the file is present and it has a valid format.") \
  X(106, BU_HELP_TEXT(".")) \
  X(107, "Invalid input arguments specified. Please refer to BU help below.\n\n" \
         BU_HELP_TEXT("")) \
  X(108, "Brevant Updater session complete.\n" \
         "All updates were successfully installed on the machine. " \
         "For more details about the processing, please check the log file " \
         "\042Log.BrevantUpdater.txt\042 \ncreated in the user's temporary directory.") \
  X(109, "Brevant Updater session complete.\n" \
         "A Tarvenix Product was found and successfully updated. " \
         "For more details about the processing, please check the log file " \
         "\042Log.BrevantUpdater.txt\042 \ncreated in the user's temporary directory.") \
  X(110, "Brevant Updater session complete.\n" \
         "All updates failed to install on the machine. " \
         "For more details about the processing, please check the log file " \
         "\042Log.BrevantUpdater.txt\042 \ncreated in the user's temporary directory.") \
  X(111, "")

#endif /* BU_STRING_TABLE_H */
