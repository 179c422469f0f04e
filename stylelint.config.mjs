// Lints the page's style sheet (src/page/templates/page.css). The sheet is
// written compact, one rule to a line, and pages must stay byte for byte as
// they are, so only the rules that find mistakes apply, not the layout ones.
export default {
  extends: ["stylelint-config-recommended"],
  rules: {
    // It compares selectors that end in the same element even when they can
    // never match one element: ".layer a" lies in main, "nav a:hover" in nav.
    "no-descending-specificity": null,
  },
};
