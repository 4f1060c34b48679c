#!/usr/bin/env bash
# Every screen and box the registration and the first block do not reach, in every shipped language,
# in a real window: the settings box, the keyboard-layout box, the instruction screen without its
# file, the three announcements, the menu with its captions and the pilot's mark, each task screen's
# praise, a results file's error box and the timing check's screen. The driver draws them with the
# program's own screens on the real host; each is read back by OCR in its language, whole (a text cut
# at its control's edge would not read so), on a display of the given size and DPI.
#   screens.sh SCREENS_DRIVER WIDTH HEIGHT DPI
source "$(dirname "$0")/lib.sh"

driver=$1
WIDTH=$2
HEIGHT=$3
dpi=$4
TIMEOUT=60
start_display
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$dpi" || fail "cannot set Xft.dpi"
# Lines the settings box names; no instruction.txt, so that the instruction screen says it is missing.
printf '# the subjects\x27 monitor\nmonitor=1\nshow it\n' >"$work/pelorin.ini"

# What an image says, read in the language (tesseract's code), on one line, blanks squeezed.
# Greek's model reads its mu as the micro sign now and then.
read_screen() { tesseract "$1" - -l "$2" 2>/dev/null | tr '\n' ' ' | tr -s ' ' | sed 's/µ/μ/g'; }
# What the screen says below the mark's strip: what is drawn there, cut out and enlarged (a small
# button's caption reads no better than its pixels), with the margin the OCR needs. With FILTER, the
# dotted focus rectangle (which the OCR takes for a picture with the caption in it) is filtered away,
# and with it the dots of umlauts: a word is looked for in both readings.
read_content() {
  convert "$1" -crop "${WIDTH}x$((HEIGHT - HEIGHT / 12))+0+$((HEIGHT / 12))" +repage -fuzz 3% -trim +repage \
    -resize 200% ${3:+-statistic Median 3x3} -bordercolor "rgb(212,208,200)" -border 40 "$work/content.png"
  read_screen "$work/content.png" "$2"
}
# White words on a colour, in a part of the screen (WIDTHxHEIGHT+LEFT+TOP): cut out and turned dark on
# light for the OCR.
read_white() {
  convert "$1" -crop "$3" +repage -colorspace Gray -threshold 90% -negate -resize 300% "$work/white.png"
  read_screen "$work/white.png" "$2"
}
# The pilot's mark, white on orange in the top right corner.
read_mark() { read_white "$1" "$2" "$((WIDTH / 4))x$((HEIGHT / 12))+$((WIDTH * 3 / 4))+0"; }
# A box's title, white on its navy bar.
read_title() { read_white "$1" "$2" "$(convert "$1" -fill white +opaque "$MESSAGE_BOX_TITLE" -format "%@" info:)"; }

# Waits until the driver says the page is up.
wait_page() {
  for _ in $(seq $((TIMEOUT * 10))); do
    grep -qx "page $1" "$work/stdout.txt" && return 0
    kill -0 "$program_pid" 2>/dev/null || fail "$tag: the driver ended before the page $1"
    sleep 0.1
  done
  fail "$tag: waiting for the page $1"
}

# Each line: the tag, tesseract's code, the page, then the words it must show (separated by ;), in any
# letter case (mark=WORDS: the pilot's mark, title=WORDS: the box's title). A box's page is answered
# with Return, a screen's with a space. Greek's accented capital eta ("Ήχοι" on a small bold button)
# reads differently from run to run, so the Greek lines look for the words around it.
current=""
while IFS='|' read -r tag ocr page words; do
  if [ "$tag" != "$current" ]; then
    [ -z "$current" ] || { wait_exit; [ "$exit_code" = 0 ] || fail "$current: the driver ended with $exit_code"; }
    current=$tag
    start_program "$driver" "$tag"
  fi
  wait_page "$page"
  case $page in
    settings | keyboard | results) wait_screen "$tag: the $page box" box_shown ;;
    *) sleep 0.2 ;;
  esac
  image=$(shot "$tag-$page")
  said=$(read_content "$image" "$ocr")
  filtered=""
  IFS=';' read -ra expected <<<"$words"
  for word in "${expected[@]}"; do
    if [[ $word == mark=* ]]; then
      mark=$(read_mark "$image" "$ocr")
      grep -qiF -- "${word#mark=}" <<<"$mark" || fail "$tag: the pilot's mark reads '$mark', not '${word#mark=}'"
    elif [[ $word == title=* ]]; then
      title=$(read_title "$image" "$ocr")
      grep -qiF -- "${word#title=}" <<<"$title" || fail "$tag: the $page box's title reads '$title', not '${word#title=}'"
    else
      if ! grep -qiF -- "$word" <<<"$said" && [ -z "${filtered:-}" ]; then
        filtered=$(read_content "$image" "$ocr" filter)
        said="$said / $filtered"
      fi
      grep -qiF -- "$word" <<<"$said" || fail "$tag: the page $page reads '$said', without '$word'"
    fi
  done
  case $page in
    settings | keyboard | results) keys Return ;;
    *) keys space ;;
  esac
done <<'EOF'
de|deu|settings|title=Einstellungen;unbekannte Einstellung;Zeile 3
de|deu|keyboard|title=Tastaturbelegung;lassen sich die Antworttasten
de|deu|instruction|lässt sich nicht öffnen;Weiter
de|deu|announcement-tone|nur auf Töne reagieren
de|deu|announcement-letter|nur auf Buchstaben reagieren
de|deu|announcement-dual|auf Buchstaben und Töne reagieren
de|deu|menu|Weiter?;Töne;Ton + Buchstabe;Beenden;mark=PILOT
de|deu|praise-tone|Glückwunsch
de|deu|praise-letter|Glückwunsch
de|deu|praise-dual|Glückwunsch
de|deu|results|title=FEHLER;konnte nicht angelegt werden
de|deu|check|Zeitprüfung auf Bildschirm;Der Ton;während jedes Tons eine Taste
de|deu|check-done|nichts außerhalb der Grenzen;der Bericht konnte nicht geschrieben werden
fr|fra|settings|title=Paramètres;paramètre inconnu;ligne 3
fr|fra|keyboard|title=Disposition du clavier;les touches de réponse
fr|fra|instruction|ouvrir;Continuer
fr|fra|announcement-tone|seulement aux sons
fr|fra|announcement-letter|seulement aux lettres
fr|fra|announcement-dual|aux lettres et aux sons
fr|fra|menu|Continuer;Sons;Son + Lettre;Quitter;mark=PILOTE
fr|fra|praise-tone|Félicitations
fr|fra|praise-letter|Félicitations
fr|fra|praise-dual|Félicitations
fr|fra|results|title=ERREUR;fichier de résultats
fr|fra|check|timing de Pelorin;Le son;une touche tapée pendant chacun
fr|fra|check-done|rien hors limites;pas pu être écrit
es|spa|settings|title=Configuración;ajuste desconocido;línea 3
es|spa|keyboard|title=Distribución del teclado;teclas de respuesta
es|spa|instruction|No se puede abrir;Continuar
es|spa|announcement-tone|responder a los tonos
es|spa|announcement-letter|responder a las letras
es|spa|announcement-dual|las letras y a los tonos
es|spa|menu|Continuar?;Tonos;Tono + Letra;Salir;mark=PILOTO
es|spa|praise-tone|Enhorabuena
es|spa|praise-letter|Enhorabuena
es|spa|praise-dual|Enhorabuena
es|spa|results|title=ERROR;archivo de resultados
es|spa|check|tiempos de Pelorin en la pantalla;El sonido;una tecla pulsada durante cada uno
es|spa|check-done|nada fuera de los límites;no se pudo escribir el informe
nl|nld|settings|title=Instellingen;onbekende instelling;regel 3
nl|nld|keyboard|title=Toetsenbordindeling;antwoordtoetsen
nl|nld|instruction|niet openen;Verder
nl|nld|announcement-tone|alleen op tonen
nl|nld|announcement-letter|alleen op letters
nl|nld|announcement-dual|tonen reageert
nl|nld|menu|Verder?;Tonen;Toon + Letter;Stoppen;mark=PILOT
nl|nld|praise-tone|Gefeliciteerd
nl|nld|praise-letter|Gefeliciteerd
nl|nld|praise-dual|Gefeliciteerd
nl|nld|results|title=FOUT;resultatenbestand
nl|nld|check|timingcontrole op scherm;Het geluid;tijdens elke toon een toets
nl|nld|check-done|niets buiten de grenzen;kon niet worden geschreven
el|ell|settings|title=Ρυθμίσεις;άγνωστη ρύθμιση;γραμμή 3
el|ell|keyboard|title=Διάταξη πληκτρολογίου;πλήκτρα απάντησης
el|ell|instruction|Δεν ανοίγει;Συνέχεια
el|ell|announcement-tone|Ξεκινάμε με μια δοκιμή;απαντάτε μόνο σε
el|ell|announcement-letter|απαντάτε μόνο σε γράμματα
el|ell|announcement-dual|απαντάτε σε γράμματα και
el|ell|menu|Συνέχεια;Γράμματα;Γράμμα Έξοδος;mark=ΠΙΛΟΤΙΚΟ
el|ell|praise-tone|Συγχαρητήρια
el|ell|praise-letter|Συγχαρητήρια
el|ell|praise-dual|Συγχαρητήρια
el|ell|results|title=ΣΦΑΛΜΑ;αρχείου αποτελεσμάτων
el|ell|check|Έλεγχος χρονισμού;Ο ήχος;ένα πλήκτρο σε καθέναν
el|ell|check-done|τίποτα εκτός ορίων;η αναφορά δεν γράφτηκε
EOF
wait_exit
[ "$exit_code" = 0 ] || fail "$current: the driver ended with $exit_code"
passed=1
echo "every screen and box read back whole in every language on ${WIDTH}x$HEIGHT at $dpi dpi"
