#!/usr/bin/env bash
# Every shipped language in a real window: the registration screen, a refusal's box, the instruction
# screen's own words, the first block's announcement and the quit question, each read back by OCR in
# its language, whole (a text cut at its control's edge would not
# read so), on a display of the given size and DPI (96, or 144 for 150 % scaling).
#   languages.sh PELORIN MAKE_WAVES DEMO_DIR WIDTH HEIGHT DPI
source "$(dirname "$0")/lib.sh"

pelorin=$1
WIDTH=$4
HEIGHT=$5
dpi=$6
TIMEOUT=90
start_display
prepare_demo_data "$2" "$3"
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$dpi" || fail "cannot set Xft.dpi"

# What the screen says, read in the language (tesseract's code), on one line, blanks squeezed.
read_screen() { tesseract "$1" - -l "$2" 2>/dev/null | tr '\n' ' ' | tr -s ' '; }
registration() { drawn "$1" && box_gone "$1"; }
# The screen reads WORDS (in the language's OCR model, $ocr).
reads() { read_screen "$2" "$ocr" | grep -qiF -- "$1"; }

# Each: the tag, tesseract's code, then the words the registration screen, the box of a letter typed
# into the ID box, the instruction screen's welcome and button, the tone block's announcement and the
# quit question must show, in any letter case (OCR reads each language's letters with its own model).
while IFS='|' read -r tag ocr welcome refusal instruction continue announcement question; do
  start_program "$pelorin" --pilot --language "$tag"
  wait_screen "$tag: the registration screen" registration
  said=$(read_screen "$(shot "$tag-registration")" "$ocr")
  grep -qiF -- "$welcome" <<<"$said" || fail "$tag: the registration screen reads '$said', not '$welcome'"
  keys x
  wait_screen "$tag: the refusal's box" box_shown
  said=$(read_screen "$(shot "$tag-refusal")" "$ocr")
  grep -qiF -- "$refusal" <<<"$said" || fail "$tag: the refusal reads '$said', not '$refusal'"
  keys Return
  wait_screen "$tag: the registration screen after the box" registration
  # Registered into the pilot's own folder: the instruction screen, then the first announcement.
  keys ctrl+Tab
  keys Return
  wait_screen "$tag: the instruction screen" reads "$instruction"
  reads "$continue" "$(shot "$tag-instruction")" || fail "$tag: the instruction screen has no '$continue'"
  # The first Continue shows instruction.txt, the second goes on.
  keys Return
  sleep 0.5
  keys Return
  wait_screen "$tag: the tone block's announcement" reads "$announcement"
  keys Escape
  wait_screen "$tag: the quit question" box_shown
  said=$(read_screen "$(shot "$tag-question")" "$ocr")
  grep -qiF -- "$question" <<<"$said" || fail "$tag: the quit question reads '$said', not '$question'"
  keys Return
  wait_exit
  [ "$exit_code" = 0 ] || fail "$tag: Yes to the quit question ended the program with $exit_code"
done <<'EOF'
de|deu|bitte Personendaten eingeben|nur Ziffern eingeben|Willkommen bei Pelorin|Weiter|nur auf Töne reagieren|wirklich beenden
fr|fra|données du participant|chiffres uniquement|Bienvenue dans Pelorin|Continuer|seulement aux sons|vraiment quitter
es|spa|datos del participante|solo números|Bienvenido a Pelorin|Continuar|responder a los tonos|realmente desea salir
nl|nld|gegevens van de deelnemer|alleen cijfers invoeren|Welkom bij Pelorin|Verder|alleen op tonen|wil je echt stoppen
el|ell|στοιχεία συμμετέχοντα|παρακαλώ!|Καλώς ήρθατε|Συνέχεια|σε ήχους|σίγουρα να βγείτε
EOF
[ ! -e "$work/CurrentSubjects.txt" ] || fail "a language's run registered into the lab's subject list"
echo "every language read back whole on ${WIDTH}x$HEIGHT at $dpi dpi"
