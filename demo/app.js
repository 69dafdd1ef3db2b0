// The demo interface: one button per bridge action, every page callback
// shown as it arrives and reported to the server that served the page.
"use strict";

const log = document.getElementById("log");
const drop = document.getElementById("drop");

function post(message) {
  const handler = window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.native;
  if (handler) handler.postMessage(message);
}

// Servers that do not know /report answer 404; the page does not mind. The
// clock is coarse and the requests may arrive in any order, so each report
// also carries its rank on this page.
let reported = 0;
function report(name, args) {
  const query = new URLSearchParams({
    name: name,
    args: JSON.stringify(args),
    time: String(performance.timeOrigin + performance.now()),
    rank: String(++reported),
  });
  fetch("/report?" + query, { cache: "no-store", keepalive: true }).catch(() => {});
}

function received(name, args) {
  const item = document.createElement("li");
  item.textContent = name + "(" + args.map((a) => JSON.stringify(a)).join(", ") + ")";
  log.prepend(item);
  report(name, args);
}

window.__openPath = (path) => received("__openPath", [path]);
window.__setTravail = (path) => received("__setTravail", [path]);
window.__setFolder = (path) => received("__setFolder", [path]);
window.__granted = (path) => received("__granted", [path]);
window.__autorises = (paths) => received("__autorises", [paths]);
window.__survol = (hovering) => {
  drop.classList.toggle("survol", hovering === true);
  received("__survol", [hovering]);
};

function messageOf(button) {
  const message = { action: button.dataset.action };
  if (button.dataset.pour) message.pour = button.dataset.pour;
  if (button.dataset.url) message.url = button.dataset.url;
  if (button.dataset.with === "path") message.path = document.getElementById("path").value;
  if (button.dataset.with === "url") message.url = document.getElementById("url").value;
  return message;
}

for (const button of document.querySelectorAll("button[data-action]")) {
  button.addEventListener("click", () => post(messageOf(button)));
}

document.getElementById("text").addEventListener("input", (event) => report("text", [event.target.value]));
document.getElementById("file").addEventListener("change", (event) =>
  report("file", [Array.from(event.target.files, (f) => f.name)]));
document.getElementById("alert").addEventListener("click", () => {
  alert("Alerte de la page");
  report("alert", []);
});
document.getElementById("confirm").addEventListener("click", () => report("confirm", [confirm("Continuer ?")]));
document.getElementById("prompt").addEventListener("click", () => report("prompt", [prompt("Nom ?", "defaut")]));

window.addEventListener("load", () => report("load", [location.href]));
