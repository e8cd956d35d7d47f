#include "WebFooter.h"

namespace tessaron::printerapp {

// PAPPL 1.3's "Printing Defaults" form shows a saved text default escaped, with a backslash
// before each quote, backslash and '['. Saved again unchanged, the line would keep those
// backslashes, and "\[" is the back-print line's escape for a plain bracket: its tokens would
// print as text. The script shows the back-print lines as they were typed; it runs after the
// form, as the footer closes every page.
const char* webFooterHTML() {
    return R"(Tessaron driver suite for Vantrel JRX minilabs
<script>
(function () {
  var lines = document.querySelectorAll('input[name^="jrx-back-print-"]');
  for (var i = 0; i < lines.length; i++) lines[i].value = lines[i].value.replace(/\\([\s\S])/g, '$1');
})();
</script>)";
}

}  // namespace tessaron::printerapp
