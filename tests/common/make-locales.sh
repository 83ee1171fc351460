#!/bin/sh
# Compiles the Linux locales the language tests run Wine under into a folder
# of the build (LOCPATH), so that the tests do not depend on the locales the
# machine happens to have generated: Wine takes the user's Windows language
# from LANG only when the C library knows that locale.
#   make-locales.sh FOLDER LOCALE...    (LOCALE as fr_FR, de_DE, ...)
set -u
folder=$1
shift
mkdir -p "$folder"
for locale in "$@"; do
  [ -f "$folder/$locale.UTF-8/LC_CTYPE" ] && continue
  # localedef exits 1 on mere warnings; the compiled locale is what counts.
  localedef -i "$locale" -f UTF-8 "$folder/$locale.UTF-8" >/dev/null 2>&1
  if [ ! -f "$folder/$locale.UTF-8/LC_CTYPE" ]; then
    echo "cannot compile the locale $locale (localedef from Debian's locales package)" >&2
    exit 1
  fi
done
