// Lints the page's script (src/page/templates/page.js): a classic script in
// the browser, which the page loads with defer.
import js from "@eslint/js";
import globals from "globals";

export default [
  js.configs.recommended,
  {
    files: ["src/page/templates/*.js"],
    languageOptions: { sourceType: "script", globals: globals.browser },
  },
];
