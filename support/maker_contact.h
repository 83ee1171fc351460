/* The maker's contact data, in one place: the About box shows it (the dialog
   template includes this header) and the product's "Uninstall" entry carries the
   web address and the support telephone number. Plain wide-string macros, so that
   both the resource compiler and C++ can use them. */
#ifndef QV_SUPPORT_MAKER_CONTACT_H
#define QV_SUPPORT_MAKER_CONTACT_H

#define QV_MAKER_NAME L"Quorvane Systems"
/* Three lines, as the About box shows them. */
#define QV_MAKER_POSTAL_ADDRESS L"Quorvane Systems GmbH\nLindenallee 14\n8004 Zurich, Switzerland"
#define QV_MAKER_TELEPHONE L"Phone +41 44 555 27 80"
#define QV_MAKER_FAX L"Fax +41 44 555 27 81"
#define QV_MAKER_EMAIL L"support@quorvane.example"
#define QV_MAKER_WEB_ADDRESS L"https://www.quorvane.example"
/* The support line as the list of installed programs shows it. */
#define QV_MAKER_SUPPORT_TELEPHONE L"+41 44 555 27 80"

#endif
