<!DOCTYPE html>
<!-- A small pane of the launcher (250 x 118 px): the week's event. -->
<html lang="tr">
<head>
<meta charset="utf-8">
<title>Valdora - Etkinlik</title>
<style>
  html, body { margin: 0; height: 100%; overflow: hidden; }
  body {
    font: 11px/1.3 "Palatino Linotype", Palatino, "DejaVu Serif", Georgia, serif;
    color: #e6d6c0;
    background: linear-gradient(160deg, #2b0d0d 0%, #140606 60%, #050202 100%);
  }
  .box {
    position: absolute; inset: 3px; border: 1px solid #7a2a1c; padding: 7px 8px 0 72px;
    box-shadow: inset 0 0 14px #000;
  }
  svg { position: absolute; left: 5px; top: 12px; width: 62px; height: 86px; }
  .tag { font-size: 9px; letter-spacing: 3px; color: #d0653a; text-transform: uppercase; }
  h1 {
    margin: 2px 0 4px; font-size: 17px; font-weight: normal; color: #ffb347;
    text-shadow: 0 0 6px #b3401a, 0 1px 1px #000;
  }
  p { margin: 0; }
  .when { margin-top: 5px; color: #f3c27a; }
</style>
</head>
<body>
<div class="box">
  <svg viewBox="0 0 70 96" aria-hidden="true">
    <defs>
      <radialGradient id="fire" cx=".5" cy=".7" r=".6">
        <stop offset="0" stop-color="#ffd36b"/>
        <stop offset=".5" stop-color="#e0561b"/>
        <stop offset="1" stop-color="#5a1208" stop-opacity="0"/>
      </radialGradient>
    </defs>
    <ellipse cx="35" cy="64" rx="34" ry="30" fill="url(#fire)" opacity=".8"/>
    <path d="M35 6 L44 30 L66 24 L50 44 L60 70 L35 56 L10 70 L20 44 L4 24 L26 30Z"
          fill="#1a0705" stroke="#ff9a3c" stroke-width="1.2"/>
    <circle cx="35" cy="40" r="4" fill="#ffcf5a"/>
  </svg>
  <div class="tag">Bu hafta sonu</div>
  <h1>Ejderha Avı</h1>
  <p>Kızıl Dağ'ın ejderhası uyandı. Loncanı topla!</p>
  <p class="when">Cumartesi 20:00 &middot; çift deneyim</p>
</div>
</body>
</html>
