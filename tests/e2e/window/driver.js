// Lets a test run scripts in the page: polls the server's /next for a script,
// evaluates it and reports the outcome as "ran" or "failed".
"use strict";

(async () => {
  for (;;) {
    let script = null;
    try {
      const answer = await fetch("/next", { cache: "no-store" });
      if (answer.status === 200) script = await answer.text();
    } catch (error) {
      await new Promise((resolve) => setTimeout(resolve, 200));
    }
    if (script === null) continue;
    try {
      report("ran", [String(await (0, eval)(script))]);
    } catch (error) {
      report("failed", [String(error)]);
    }
  }
})();
